#include "account/PairingApproval.h"

#include "account/OvrinLink.h"
#include "core/Core.h"
#include "link/JsonReader.h"
#include "link/QueryValue.h"
#include "platform/Dialogs.h"

#include <QPointer>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 codeSeconds = 300;

} // namespace

PairingApproval::PairingApproval(Core& core, Dialogs& dialogs, Pairing& pairing)
    : m_core(core)
    , m_dialogs(dialogs)
    , m_pairing(pairing)
{}

bool PairingApproval::codeShown() const
{
    return !m_pairing.pairingCode().isEmpty() && m_pairing.now() < m_codeDeadline;
}

void PairingApproval::setApprovalLink(const QString& link)
{
    if (link == m_approvalLink)
        return;
    m_approvalLink = link;
    Q_EMIT changed();
}

bool PairingApproval::confirmDevice(const QJsonObject& reply, const QString& warning)
{
    const QString name = JsonReader::string(reply.value(u"name"_s)).value_or(u"Новое устройство"_s);
    const QString platform = JsonReader::string(reply.value(u"platform"_s)).value_or(QString());
    m_pairing.setWaiting(false);
    const int choice =
        m_dialogs.alert(u"Добавить устройство?"_s, name + u" · "_s + platform + warning,
                        {u"Добавить"_s, u"Отмена"_s});
    return choice == 0;
}

void PairingApproval::approvePair()
{
    const std::optional<OvrinLink::Pair> link = OvrinLink::parsePair(m_approvalLink);
    if (!link) {
        m_pairing.setMessage(u"Не удалось прочитать ссылку из QR."_s);
        return;
    }
    m_pairing.setWaiting(true);
    const QPointer<PairingApproval> self(this);
    m_core.accountRequest(
        u"/account/pair/inspect"_s, {{u"id"_s, link->id}, {u"qr_token"_s, link->token}},
        [self, link = *link](std::optional<QJsonObject> json, std::optional<QString> error) {
            if (!self)
                return;
            // A failure reply may carry an object too; a device the center
            // could not vouch for is never offered for approval.
            if (!json || error) {
                self->m_pairing.finish(error.value_or(u"Не удалось проверить заявку."_s));
                return;
            }
            const bool add = self->confirmDevice(
                *json, u". Подтверждайте только QR с экрана устройства рядом с вами."_s);
            if (self && add)
                self->approveLink(link.id, link.token);
        });
}

void PairingApproval::approveLink(const QString& id, const QString& token)
{
    m_pairing.setWaiting(true);
    const QPointer<PairingApproval> self(this);
    m_core.accountRequest(u"/account/pair/approve"_s, {{u"id"_s, id}, {u"qr_token"_s, token}},
                          [self](std::optional<QJsonObject>, std::optional<QString> error) {
                              if (self)
                                  self->m_pairing.finish(
                                      error.value_or(u"Устройство подтверждено."_s));
                          });
}

void PairingApproval::createCode()
{
    m_pairing.setWaiting(true);
    const QPointer<PairingApproval> self(this);
    m_core.accountRequest(u"/account/pair/codes"_s, {},
                          [self](std::optional<QJsonObject> json, std::optional<QString> error) {
                              if (!self)
                                  return;
                              const auto id = JsonReader::stringAt(json, u"id"_s);
                              const auto code = JsonReader::stringAt(json, u"code"_s);
                              if (error || !id || !code) {
                                  self->m_pairing.finish(
                                      error.value_or(u"Не удалось создать код."_s));
                                  return;
                              }
                              self->m_codeID = *id;
                              self->m_codeDeadline = self->m_pairing.after(codeSeconds);
                              self->m_pairing.setPairingCode(*code);
                              self->m_pairing.setWaiting(false);
                              Q_EMIT self->changed();
                          });
}

void PairingApproval::pollCode()
{
    if (m_codeID.isEmpty() || m_pairing.waiting() || m_pairing.now() >= m_codeDeadline ||
        m_confirmingCode)
        return;
    m_pairing.setWaiting(true);
    const QPointer<PairingApproval> self(this);
    m_core.accountRequest(
        u"GET"_s, u"/account/pair/code-status?id="_s + queryValue(m_codeID), {}, {},
        [self](std::optional<QJsonObject> json, std::optional<QString> error) {
            if (!self)
                return;
            const auto requestID = JsonReader::stringAt(json, u"request_id"_s);
            if (error || JsonReader::stringAt(json, u"status"_s) != u"claimed"_s || !requestID) {
                self->m_pairing.setWaiting(false);
                if (error)
                    self->m_pairing.setMessage(*error);
                return;
            }
            self->m_confirmingCode = true;
            const bool add =
                self->confirmDevice(*json, u". Подтверждайте только устройство рядом с вами."_s);
            if (!self)
                return;
            self->m_confirmingCode = false;
            if (add) {
                self->approveCode(*requestID);
            } else if (!self->m_codeID.isEmpty()) {
                self->m_codeID.clear();
                Q_EMIT self->changed();
            }
        });
}

void PairingApproval::approveCode(const QString& requestID)
{
    m_pairing.setWaiting(true);
    const QPointer<PairingApproval> self(this);
    m_core.accountRequest(u"/account/pair/code-approve"_s,
                          {{u"id"_s, m_codeID}, {u"request_id"_s, requestID}},
                          [self](std::optional<QJsonObject>, std::optional<QString> error) {
                              if (!self)
                                  return;
                              if (!error) {
                                  self->m_codeID.clear();
                                  self->m_pairing.setPairingCode(QString());
                              }
                              self->m_pairing.finish(error.value_or(u"Устройство добавлено."_s));
                              Q_EMIT self->changed();
                          });
}
