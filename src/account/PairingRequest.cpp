#include "account/PairingRequest.h"

#include "account/OvrinLink.h"
#include "account/PairingQr.h"
#include "core/Core.h"
#include "link/JsonReader.h"
#include "link/QueryValue.h"
#include "platform/DeviceIdentity.h"

#include <QPointer>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 qrSeconds = 60;
constexpr qint64 deliverySeconds = 360;

// Says how long the QR lasts: true only while it is on screen.
const QString qrNotice = u"QR действует одну минуту."_s;

} // namespace

PairingRequest::PairingRequest(Core& core, Pairing& pairing)
    : m_core(core)
    , m_pairing(pairing)
{}

bool PairingRequest::qrShown() const
{
    return !m_pairLink.isEmpty() && !m_pairQr.isNull() && m_pairing.now() < m_pairDeadline;
}

void PairingRequest::setPairLink(const QString& link)
{
    if (link == m_pairLink)
        return;
    m_pairLink = link;
    m_pairQr = PairingQr::image(link);
    Q_EMIT changed();
}

void PairingRequest::setPolling(bool polling)
{
    if (polling == m_polling)
        return;
    m_polling = polling;
    Q_EMIT changed();
}

void PairingRequest::createPair()
{
    m_pairing.setWaiting(true);
    const QPointer<PairingRequest> self(this);
    m_core.accountRequest(
        u"/account/pair/requests"_s,
        {{u"name"_s, m_core.device().name()}, {u"platform"_s, m_core.device().platform()}},
        [self](std::optional<QJsonObject> json, std::optional<QString> error) {
            if (!self)
                return;
            Pairing& pairing = self->m_pairing;
            pairing.setWaiting(false);
            const auto id = JsonReader::stringAt(json, u"id"_s);
            const auto secret = JsonReader::stringAt(json, u"secret"_s);
            const auto token = JsonReader::stringAt(json, u"qr_token"_s);
            if (error || !id || !secret || !token) {
                pairing.setMessage(error.value_or(u"Не удалось создать QR."_s));
                return;
            }
            self->m_pairID = *id;
            self->m_pairSecret = *secret;
            self->m_pairDeadline = pairing.after(qrSeconds);
            self->m_pairDeliveryDeadline = pairing.after(deliverySeconds);
            self->m_pairLink.clear(); // so that the QR is made again even for the same link
            self->setPairLink(OvrinLink::composePair(*id, *token));
            pairing.setMessage(qrNotice);
            Q_EMIT self->changed();
        });
}

void PairingRequest::pollPair()
{
    if (m_pairID.isEmpty() || m_polling || m_pairing.now() >= m_pairDeliveryDeadline ||
        m_core.account().signed_in || m_core.account().pending_credentials)
        return;
    setPolling(true);
    const QPointer<PairingRequest> self(this);
    m_core.accountRequest(
        u"GET"_s, u"/account/pair/status?id="_s + queryValue(m_pairID), {},
        {{u"X-Pair-Secret"_s, m_pairSecret}},
        [self, polled = m_pairID](std::optional<QJsonObject> json, std::optional<QString> error) {
            if (!self)
                return;
            self->setPolling(false);
            // The answer about a request that a new one has replaced.
            if (self->m_pairID == polled)
                self->polled(json, error);
        });
}

void PairingRequest::polled(const std::optional<QJsonObject>& json,
                            const std::optional<QString>& error)
{
    if (!error && JsonReader::stringAt(json, u"status"_s) == u"approved"_s) {
        if (const auto seconds = JsonReader::integer(json->value(u"expires_in"_s)))
            m_pairDeliveryDeadline = m_pairing.after(*seconds);
        if (JsonReader::boolean(json->value(u"profile_pending"_s)) == true) {
            m_pairing.setMessage(u"Вход сохранён. Повторите обновление профиля."_s);
        } else {
            m_pairID.clear();
            m_pairSecret.clear();
            m_pairLink.clear();
            m_pairQr = QImage();
            m_pairing.setMessage(u"Устройство добавлено."_s);
        }
        Q_EMIT changed();
        return;
    }
    if (!error)
        return;
    if (error->contains(u"not_found"_s))
        m_pairDeliveryDeadline = Pairing::distantPast;
    m_pairing.setMessage(*error);
    Q_EMIT changed();
}

void PairingRequest::claimCode()
{
    m_pairing.setWaiting(true);
    const QPointer<PairingRequest> self(this);
    m_core.accountRequest(
        u"/account/pair/claim"_s,
        {{u"id"_s, m_pairID}, {u"secret"_s, m_pairSecret}, {u"code"_s, m_pairing.pairingCode()}},
        [self](std::optional<QJsonObject>, std::optional<QString> error) {
            if (self)
                self->m_pairing.finish(
                    error.value_or(u"Подтвердите добавление на старом устройстве."_s));
        });
}

void PairingRequest::endQrNotice()
{
    if (m_pairing.message() == qrNotice && m_pairing.now() >= m_pairDeadline)
        m_pairing.setMessage(QString());
}
