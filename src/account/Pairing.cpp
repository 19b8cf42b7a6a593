#include "account/Pairing.h"

#include "account/PairingLink.h"
#include "account/PairingQr.h"
#include "core/Core.h"
#include "link/JsonReader.h"
#include "link/QueryValue.h"
#include "platform/DeviceIdentity.h"
#include "platform/Dialogs.h"

#include <QPointer>

#include <chrono>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 qrSeconds = 60;
constexpr qint64 deliverySeconds = 360;
constexpr qint64 codeSeconds = 300;
constexpr int tickMs = 2000;

// Says how long the QR lasts: true only while it is on screen.
const QString qrNotice = u"QR действует одну минуту."_s;

// A failure reply may carry an object as well; it is shown as an error and
// never read as an opened request, an approval or a claim.
std::optional<QString> stringIn(const std::optional<QJsonObject>& json, const QString& key)
{
    return json ? JsonReader::string(json->value(key)) : std::nullopt;
}

} // namespace

Pairing::Clock Pairing::steadyClock()
{
    return [] {
        using namespace std::chrono;
        return qint64(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    };
}

Pairing::Pairing(Core& core, Dialogs& dialogs, Clock clock, QObject* parent)
    : QObject(parent)
    , m_core(core)
    , m_dialogs(dialogs)
    , m_clock(std::move(clock))
{
    m_timer.setInterval(tickMs);
    QObject::connect(&m_timer, &QTimer::timeout, this, &Pairing::tick);
}

Pairing::~Pairing() = default;

bool Pairing::qrShown() const
{
    return !m_pairLink.isEmpty() && !m_pairQr.isNull() && now() < m_pairDeadline;
}

bool Pairing::codeShown() const
{
    return !m_pairingCode.isEmpty() && now() < m_codeDeadline;
}

void Pairing::setApprovalLink(const QString& link)
{
    assign(m_approvalLink, link);
}

void Pairing::setPairingCode(const QString& code)
{
    assign(m_pairingCode, code);
}

void Pairing::setWaiting(bool waiting)
{
    assign(m_waiting, waiting);
}

void Pairing::setMessage(const QString& message)
{
    assign(m_message, message);
}

void Pairing::setPairLink(const QString& link)
{
    if (link == m_pairLink)
        return;
    m_pairLink = link;
    m_pairQr = PairingQr::image(link);
    Q_EMIT changed();
}

qint64 Pairing::after(qint64 seconds) const
{
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    const qint64 start = now();
    if (seconds > 0 && (seconds > max / 1000 || start > max - seconds * 1000))
        return max;
    if (seconds < 0 && (seconds < distantPast / 1000 || start < distantPast - seconds * 1000))
        return distantPast;
    return start + seconds * 1000;
}

void Pairing::tick()
{
    pollPair();
    pollCode();
    if (m_message == qrNotice && now() >= m_pairDeadline)
        setMessage(QString());
    Q_EMIT ticked();
}

void Pairing::startTicking()
{
    m_timer.start();
}

void Pairing::stopTicking()
{
    m_timer.stop();
}

void Pairing::createPair()
{
    setWaiting(true);
    const QPointer<Pairing> self(this);
    m_core.accountRequest(
        u"/account/pair/requests"_s,
        {{u"name"_s, m_core.device().name()}, {u"platform"_s, m_core.device().platform()}},
        [self](std::optional<QJsonObject> json, std::optional<QString> error) {
            if (!self)
                return;
            self->setWaiting(false);
            const auto id = stringIn(json, u"id"_s);
            const auto secret = stringIn(json, u"secret"_s);
            const auto token = stringIn(json, u"qr_token"_s);
            if (error || !id || !secret || !token) {
                self->setMessage(error.value_or(u"Не удалось создать QR."_s));
                return;
            }
            self->m_pairID = *id;
            self->m_pairSecret = *secret;
            self->m_pairDeadline = self->after(qrSeconds);
            self->m_pairDeliveryDeadline = self->after(deliverySeconds);
            self->m_pairLink.clear(); // so that the QR is made again even for the same link
            self->setPairLink(PairingLink::compose(*id, *token));
            self->m_message = qrNotice;
            Q_EMIT self->changed();
        });
}

void Pairing::pollPair()
{
    if (m_pairID.isEmpty() || m_polling || now() >= m_pairDeliveryDeadline ||
        m_core.account().signed_in || m_core.account().pending_credentials)
        return;
    setPolling(true);
    const QPointer<Pairing> self(this);
    m_core.accountRequest(
        u"GET"_s, u"/account/pair/status?id="_s + queryValue(m_pairID), {},
        {{u"X-Pair-Secret"_s, m_pairSecret}},
        [self, polled = m_pairID](std::optional<QJsonObject> json, std::optional<QString> error) {
            if (!self)
                return;
            self->setPolling(false);
            // The answer about a request that a new one has replaced.
            if (self->m_pairID != polled)
                return;
            const auto status = stringIn(json, u"status"_s);
            if (!error && status == u"approved"_s) {
                if (const auto seconds = JsonReader::integer(json->value(u"expires_in"_s)))
                    self->m_pairDeliveryDeadline = self->after(*seconds);
                if (JsonReader::boolean(json->value(u"profile_pending"_s)) == true) {
                    self->m_message = u"Вход сохранён. Повторите обновление профиля."_s;
                } else {
                    self->m_pairID.clear();
                    self->m_pairSecret.clear();
                    self->m_pairLink.clear();
                    self->m_pairQr = QImage();
                    self->m_message = u"Устройство добавлено."_s;
                }
                Q_EMIT self->changed();
                return;
            }
            if (!error)
                return;
            if (error->contains(u"not_found"_s))
                self->m_pairDeliveryDeadline = distantPast;
            self->m_message = *error;
            Q_EMIT self->changed();
        });
}

void Pairing::claimCode()
{
    setWaiting(true);
    const QPointer<Pairing> self(this);
    m_core.accountRequest(
        u"/account/pair/claim"_s,
        {{u"id"_s, m_pairID}, {u"secret"_s, m_pairSecret}, {u"code"_s, m_pairingCode}},
        [self](std::optional<QJsonObject>, std::optional<QString> error) {
            if (!self)
                return;
            self->m_waiting = false;
            self->m_message = error.value_or(u"Подтвердите добавление на старом устройстве."_s);
            Q_EMIT self->changed();
        });
}

bool Pairing::confirmDevice(const QJsonObject& reply, const QString& warning)
{
    const QString name = JsonReader::string(reply.value(u"name"_s)).value_or(u"Новое устройство"_s);
    const QString platform = JsonReader::string(reply.value(u"platform"_s)).value_or(QString());
    setWaiting(false);
    const int choice =
        m_dialogs.alert(u"Добавить устройство?"_s, name + u" · "_s + platform + warning,
                        {u"Добавить"_s, u"Отмена"_s});
    return choice == 0;
}

void Pairing::approvePair()
{
    const std::optional<PairingLink::Parts> link = PairingLink::parse(m_approvalLink);
    if (!link) {
        setMessage(u"Не удалось прочитать ссылку из QR."_s);
        return;
    }
    setWaiting(true);
    const QPointer<Pairing> self(this);
    m_core.accountRequest(
        u"/account/pair/inspect"_s, {{u"id"_s, link->id}, {u"qr_token"_s, link->token}},
        [self, link = *link](std::optional<QJsonObject> json, std::optional<QString> error) {
            if (!self)
                return;
            // A failure reply may carry an object too; a device the center
            // could not vouch for is never offered for approval.
            if (!json || error) {
                self->m_waiting = false;
                self->m_message = error.value_or(u"Не удалось проверить заявку."_s);
                Q_EMIT self->changed();
                return;
            }
            const bool add = self->confirmDevice(
                *json, u". Подтверждайте только QR с экрана устройства рядом с вами."_s);
            if (self && add)
                self->approveLink(link.id, link.token);
        });
}

void Pairing::approveLink(const QString& id, const QString& token)
{
    setWaiting(true);
    const QPointer<Pairing> self(this);
    m_core.accountRequest(u"/account/pair/approve"_s, {{u"id"_s, id}, {u"qr_token"_s, token}},
                          [self](std::optional<QJsonObject>, std::optional<QString> error) {
                              if (!self)
                                  return;
                              self->m_waiting = false;
                              self->m_message = error.value_or(u"Устройство подтверждено."_s);
                              Q_EMIT self->changed();
                          });
}

void Pairing::createCode()
{
    setWaiting(true);
    const QPointer<Pairing> self(this);
    m_core.accountRequest(u"/account/pair/codes"_s, {},
                          [self](std::optional<QJsonObject> json, std::optional<QString> error) {
                              if (!self)
                                  return;
                              self->m_waiting = false;
                              const auto id = stringIn(json, u"id"_s);
                              const auto code = stringIn(json, u"code"_s);
                              if (!error && id && code) {
                                  self->m_codeID = *id;
                                  self->m_pairingCode = *code;
                                  self->m_codeDeadline = self->after(codeSeconds);
                              } else {
                                  self->m_message = error.value_or(u"Не удалось создать код."_s);
                              }
                              Q_EMIT self->changed();
                          });
}

void Pairing::pollCode()
{
    if (m_codeID.isEmpty() || m_waiting || now() >= m_codeDeadline || m_confirmingCode)
        return;
    setWaiting(true);
    const QPointer<Pairing> self(this);
    m_core.accountRequest(
        u"GET"_s, u"/account/pair/code-status?id="_s + queryValue(m_codeID), {}, {},
        [self](std::optional<QJsonObject> json, std::optional<QString> error) {
            if (!self)
                return;
            const auto requestID = stringIn(json, u"request_id"_s);
            if (!error && stringIn(json, u"status"_s) == u"claimed"_s && requestID) {
                self->m_confirmingCode = true;
                const bool add = self->confirmDevice(
                    *json, u". Подтверждайте только устройство рядом с вами."_s);
                if (!self)
                    return;
                self->m_confirmingCode = false;
                if (add)
                    self->approveCode(*requestID);
                else
                    self->assign(self->m_codeID, QString());
                return;
            }
            self->m_waiting = false;
            if (error)
                self->m_message = *error;
            Q_EMIT self->changed();
        });
}

void Pairing::approveCode(const QString& requestID)
{
    setWaiting(true);
    const QPointer<Pairing> self(this);
    m_core.accountRequest(u"/account/pair/code-approve"_s,
                          {{u"id"_s, m_codeID}, {u"request_id"_s, requestID}},
                          [self](std::optional<QJsonObject>, std::optional<QString> error) {
                              if (!self)
                                  return;
                              self->m_waiting = false;
                              self->m_message = error.value_or(u"Устройство добавлено."_s);
                              if (!error) {
                                  self->m_codeID.clear();
                                  self->m_pairingCode.clear();
                              }
                              Q_EMIT self->changed();
                          });
}
