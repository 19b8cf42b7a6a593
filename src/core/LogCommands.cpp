// Exporting and clearing the helper's logs.
#include "core/Core.h"

#include "core/MainThread.h"
#include "core/ReplyText.h"
#include "link/HelperSocket.h"
#include "link/JsonReader.h"
#include "link/QueryValue.h"
#include "platform/Dialogs.h"

#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

// The archive's path from an export reply: status 200 and a JSON object
// whose members are all strings, one of them "path".
std::optional<QString> savedPath(const std::optional<HelperReply>& reply)
{
    if (!reply || reply->status != 200)
        return std::nullopt;
    const std::optional<QJsonObject> object = JsonReader::parseObject(reply->body);
    if (!object)
        return std::nullopt;
    for (auto it = object->begin(); it != object->end(); ++it) {
        if (!it.value().isString())
            return std::nullopt;
    }
    if (!object->contains(u"path"))
        return std::nullopt;
    return object->value(u"path").toString();
}

} // namespace

void Core::exportLogs()
{
    const QString suggested =
        u"Оврин-журналы-"_s + m_ports.clock->now().toString(u"yyyy-MM-dd-HHmm"_s) + u".zip"_s;
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    m_ports.dialogs->activateApp();
    const std::optional<QString> destination = m_ports.dialogs->savePanel(
        u"Экспорт журналов"_s, suggested, downloads, u"Архив ZIP (*.zip)"_s);
    if (!destination || destination->isEmpty())
        return;

    const QString target = u"/export?to="_s + queryValue(*destination);
    setExporting(true);
    const QPointer<Core> self(this);
    HelperSocket::send(u"POST"_s, target, 60, [self](std::optional<HelperReply> reply) {
        const std::optional<QString> path = savedPath(reply);
        const QString message = replyText(reply);
        onMainThread([self, path, message] {
            if (!self)
                return;
            self->setExporting(false);
            if (path)
                self->m_ports.dialogs->reveal(*path);
            else
                self->m_ports.dialogs->alert(u"Не удалось выгрузить журналы"_s, message);
        });
    });
}

void Core::clearLogs()
{
    const int answer = m_ports.dialogs->alert(
        u"Очистить журналы?"_s, u"Будут удалены все журналы и снимки сбоев на этом Mac."_s,
        {u"Очистить"_s, u"Отмена"_s});
    if (answer != 0)
        return;
    const QPointer<Core> self(this);
    HelperSocket::send(u"POST"_s, u"/clear-logs"_s, 20, [self](std::optional<HelperReply> reply) {
        if (reply && reply->status == 204)
            return;
        onMainThread([self, message = replyText(reply)] {
            if (self)
                self->m_ports.dialogs->alert(u"Журналы очищены не полностью"_s, message);
        });
    });
}
