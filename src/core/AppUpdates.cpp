#include "core/AppUpdates.h"

#include "core/MainThread.h"
#include "link/HelperSocket.h"
#include "link/JsonReader.h"
#include "platform/Dialogs.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace {

const QString sessionHeader = u"X-Ovrin-Update-Session"_s;

} // namespace

AppUpdates::AppUpdates(Dialogs& dialogs, QObject* parent)
    : QObject(parent)
    , m_dialogs(dialogs)
{}

bool AppUpdates::isDue(const std::optional<HelperReply>& reply)
{
    if (!reply || reply->status != 200)
        return false;
    const std::optional<QJsonObject> object = JsonReader::parseObject(reply->body);
    if (!object)
        return false;
    const QJsonValue due = object->value(u"due");
    return due.isBool() && due.toBool();
}

void AppUpdates::poll(bool connected)
{
    if (!connected || m_preparing || m_installing)
        return;
    const QPointer<AppUpdates> self(this);
    HelperSocket::send(u"GET"_s, u"/updates/status"_s, 2, [self](std::optional<HelperReply> reply) {
        if (!isDue(reply))
            return;
        onMainThread([self] {
            if (self)
                self->check(false);
        });
    });
}

void AppUpdates::check(bool manual)
{
    if (!manual)
        return;
    m_dialogs.alert(u"Проверка обновлений недоступна"_s,
                    u"Источник подписанных обновлений пока не настроен. Наличие новой версии не "
                    u"проверялось."_s);
}

bool AppUpdates::authorizeTermination()
{
    if (!m_installing)
        return true;
    const QByteArray body =
        QJsonDocument(QJsonObject{{u"build"_s, m_targetBuild}}).toJson(QJsonDocument::Compact);
    const std::optional<HelperReply> reply = HelperSocket::roundTrip(
        u"POST"_s, u"/updates/intent"_s, 3, body, {{sessionHeader, m_capability}});
    if (reply && reply->status == 200)
        return true;
    m_dialogs.alert(u"Обновление приостановлено"_s,
                    u"Не удалось сохранить действующее подключение. Повторите установку позже."_s);
    return false;
}

void AppUpdates::disconnectForTermination()
{
    if (m_installing)
        HelperSocket::roundTrip(u"POST"_s, u"/stop?reason=update"_s, 5, {},
                                {{sessionHeader, m_capability}});
    else
        HelperSocket::roundTrip(u"POST"_s, u"/stop"_s, 5);
}
