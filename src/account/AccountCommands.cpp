// Core's account operations: the one funnel for account requests, the
// account state read, the server-list import and sign-in links.
#include "account/OvrinLink.h"
#include "core/Core.h"
#include "core/MainThread.h"
#include "link/HelperSocket.h"
#include "link/JsonReader.h"
#include "platform/DeviceIdentity.h"
#include "platform/Dialogs.h"

#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace {

constexpr double accountTimeoutSeconds = 90;
constexpr double statusTimeoutSeconds = 5;

QByteArray flatObject(const QMap<QString, QString>& body)
{
    QJsonObject object;
    for (auto it = body.cbegin(); it != body.cend(); ++it)
        object.insert(it.key(), it.value());
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

void Core::accountRequest(const QString& method, const QString& path,
                          const QMap<QString, QString>& body, const QMap<QString, QString>& headers,
                          AccountDone done)
{
    const QPointer<Core> self(this);
    HelperSocket::send(
        method, path, accountTimeoutSeconds, flatObject(body), headers,
        [self, done = std::move(done)](std::optional<HelperReply> reply) {
            // Judged here on the background thread; only copies cross over.
            std::optional<QJsonObject> json;
            std::optional<QString> error;
            if (!reply) {
                error = u"Помощник не ответил."_s;
            } else {
                json = JsonReader::parseObject(reply->body);
                if (reply->status != 200) {
                    error = JsonReader::stringAt(json, u"error").value_or(u"Запрос не выполнен."_s);
                }
            }
            onMainThread([self, done, json, error] {
                if (!self)
                    return;
                self->refreshAccount();
                done(json, error);
            });
        });
}

void Core::refreshAccount()
{
    refreshAccount(QPointer<Core>(this));
}

void Core::refreshAccount(const QPointer<Core>& core)
{
    HelperSocket::send(u"GET"_s, u"/account/status"_s, statusTimeoutSeconds,
                       [core](std::optional<HelperReply> reply) {
                           if (!reply)
                               return;
                           const auto account = AccountStatus::fromJson(reply->body);
                           if (!account)
                               return;
                           onMainThread([core, account] {
                               if (core)
                                   core->setAccount(*account);
                           });
                       });
}

void Core::importBootstrap(std::function<void(std::optional<QString>)> done)
{
    const std::optional<QString> folder =
        m_ports.dialogs->folderPanel(u"Папка с подписанным списком серверов"_s);
    if (!folder || folder->isEmpty())
        return;
    accountRequest(u"/account/bootstrap"_s, {{u"path"_s, *folder}},
                   [done = std::move(done)](std::optional<QJsonObject>,
                                            std::optional<QString> error) { done(error); });
}

void Core::receiveAuthLink(const QUrl& url)
{
    const std::optional<OvrinLink::Auth> link = OvrinLink::parseAuth(url);
    if (!link)
        return;
    setShowAccount(true);
    const QPointer<Core> self(this);
    accountRequest(u"/account/auth/verify"_s,
                   {{u"challenge_id"_s, link->challengeId},
                    {u"link_token"_s, link->linkToken},
                    {u"name"_s, device().name()},
                    {u"platform"_s, device().platform()}},
                   [self](std::optional<QJsonObject>, std::optional<QString> error) {
                       if (self && error)
                           self->m_ports.dialogs->alert(u"Не удалось войти"_s, *error);
                   });
}
