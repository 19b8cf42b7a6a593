#include "account/AccountStatus.h"

#include "link/JsonReader.h"

std::optional<AccountStatus> AccountStatus::fromJson(const QJsonObject& object)
{
    AccountStatus a;
    JsonReader in(object);
    in.read(u"bootstrap", a.bootstrap)
        .read(u"signed_in", a.signed_in)
        .read(u"keychain_error", a.keychain_error)
        .read(u"pending_credentials", a.pending_credentials)
        .read(u"device_id", a.device_id)
        .read(u"active", a.active)
        .read(u"plan", a.plan)
        .read(u"error", a.error);
    if (!in.ok())
        return std::nullopt;
    return a;
}

std::optional<AccountStatus> AccountStatus::fromJson(const QByteArray& body)
{
    const std::optional<QJsonObject> object = JsonReader::parseObject(body);
    if (!object)
        return std::nullopt;
    return fromJson(*object);
}
