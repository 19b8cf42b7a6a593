#include "signin/EmailSignInFlow.h"

#include "link/JsonReader.h"
#include "platform/DeviceIdentity.h"
#include "platform/Dialogs.h"
#include "ui/kit/Graphemes.h"

#include <QJsonArray>
#include <QPointer>

#include <algorithm>

using namespace Qt::StringLiterals;

EmailSignInFlow::EmailSignInFlow(Request request, Dialogs& dialogs, const DeviceIdentity& device,
                                 QObject* parent)
    : QObject(parent)
    , m_request(std::move(request))
    , m_dialogs(dialogs)
    , m_device(device)
{}

bool EmailSignInFlow::canSendCode() const
{
    return !m_waiting && m_email.contains(u'@');
}

bool EmailSignInFlow::canVerify() const
{
    return !m_waiting && graphemeCount(m_code) == 6;
}

void EmailSignInFlow::setEmail(const QString& email)
{
    m_email = email;
    Q_EMIT changed();
}

void EmailSignInFlow::setCode(const QString& code)
{
    m_code = code;
    Q_EMIT changed();
}

void EmailSignInFlow::sendCode()
{
    if (m_waiting)
        return;
    m_email = m_email.trimmed().toLower();
    if (!m_email.contains(u'@')) {
        Q_EMIT changed();
        return;
    }
    m_waiting = true;
    m_message.clear();
    Q_EMIT changed();
    Q_EMIT requestSent();
    const QPointer<EmailSignInFlow> self(this);
    m_request(u"/account/auth/request"_s, {{u"email"_s, m_email}},
              [self](std::optional<QJsonObject> json, std::optional<QString> error) {
                  if (self)
                      self->codeReplied(json, error);
              });
}

void EmailSignInFlow::codeReplied(const std::optional<QJsonObject>& json,
                                  const std::optional<QString>& error)
{
    m_waiting = false;
    const std::optional<QString> id = JsonReader::stringAt(json, u"challenge_id");
    // An empty identifier could never be verified: it counts as none.
    if (!error && id && !id->isEmpty()) {
        m_challenge = *id;
        m_code.clear();
        m_devices.clear();
        Q_EMIT changed();
        Q_EMIT codeSent();
        return;
    }
    m_message = explanation(error);
    Q_EMIT changed();
    Q_EMIT codeRequestFailed();
}

void EmailSignInFlow::verify(const std::optional<QString>& replacing)
{
    if (m_waiting || graphemeCount(m_code) != 6)
        return;
    m_waiting = true;
    m_message.clear();
    QMap<QString, QString> body{{u"challenge_id"_s, m_challenge},
                                {u"code"_s, m_code},
                                {u"name"_s, m_device.name()},
                                {u"platform"_s, m_device.platform()}};
    if (replacing)
        body.insert(u"replace_device_id"_s, *replacing);
    Q_EMIT changed();
    Q_EMIT requestSent();
    const QPointer<EmailSignInFlow> self(this);
    m_request(u"/account/auth/verify"_s, body,
              [self](std::optional<QJsonObject> json, std::optional<QString> error) {
                  if (self)
                      self->verifyReplied(json, error);
              });
}

void EmailSignInFlow::verifyReplied(const std::optional<QJsonObject>& json,
                                    const std::optional<QString>& error)
{
    m_waiting = false;
    if (!error) {
        m_completed = true;
        m_devices.clear();
        m_code.clear();
        Q_EMIT changed();
        Q_EMIT signedIn();
        return;
    }

    const QJsonValue list = json ? json->value(u"devices"_s) : QJsonValue();
    const QJsonArray entries = list.toArray();
    const bool usable = *error == u"device_limit" && json && !json->isEmpty() && list.isArray() &&
                        std::all_of(entries.begin(), entries.end(),
                                    [](const QJsonValue& v) { return v.isObject(); });
    if (usable) {
        QList<SignInDevice> offered;
        for (const QJsonValue& entry : entries) {
            if (const auto device = SignInDevice::fromJson(entry.toObject()))
                offered.append(*device);
        }
        m_devices = offered;
        if (m_devices.isEmpty())
            m_message = u"Список устройств недоступен. Получите новый код."_s;
    } else {
        m_message = explanation(error);
    }
    Q_EMIT changed();
    Q_EMIT verifyFailed();
}

QString EmailSignInFlow::explanation(const std::optional<QString>& error)
{
    if (!error)
        return u"Не удалось связаться с центром. Повторите попытку."_s;
    if (*error == u"invalid_code")
        return u"Код не подходит или истёк. Проверьте письмо или получите новый код."_s;
    if (*error == u"rate_limited")
        return u"Лимит запросов кода исчерпан. Повторите попытку позже."_s;
    if (*error == u"mail_unavailable")
        return u"Отправка писем временно недоступна. Повторите попытку позже."_s;
    if (*error == u"email_verification_required")
        return u"Устройство уже изменилось. Получите новый код и выберите его снова."_s;
    // A failure with an empty text would leave no line at all.
    if (error->isEmpty())
        return u"Запрос не выполнен."_s;
    return *error;
}

void EmailSignInFlow::confirmReplacement(const SignInDevice& device)
{
    if (m_waiting)
        return;
    m_replacement = device;
    const QString name = m_replacement ? m_replacement->name : QString();
    // The alert runs its own event loop, in which the view and this flow
    // may go away.
    const QPointer<EmailSignInFlow> self(this);
    const int answer = m_dialogs.alert(u"Заменить устройство?"_s,
                                       u"Доступ на устройстве \""_s + name +
                                           u"\" завершится. Этот Mac займёт его место. "
                                           u"Подписка сохранится."_s,
                                       {u"Заменить и войти"_s, u"Отмена"_s});
    if (!self)
        return;
    if (answer == 0)
        verify(m_replacement ? std::optional(m_replacement->id) : std::nullopt);
    else
        m_replacement.reset();
}

void EmailSignInFlow::useAnotherAddress()
{
    if (m_waiting)
        return;
    m_challenge.clear();
    m_code.clear();
    m_devices.clear();
    m_message.clear();
    Q_EMIT changed();
}
