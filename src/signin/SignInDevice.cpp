#include "signin/SignInDevice.h"

#include "link/JsonReader.h"

using namespace Qt::StringLiterals;

SignInDevice::SignInDevice(QString id, QString name, QString platform)
    : id(std::move(id))
    , name(std::move(name))
    , platform(std::move(platform))
{}

std::optional<SignInDevice> SignInDevice::fromJson(const QJsonObject& object)
{
    SignInDevice d;
    JsonReader in(object);
    in.read(u"id", d.id);
    if (!in.ok() || d.id.isEmpty())
        return std::nullopt;
    d.name = JsonReader::string(object.value(u"name")).value_or(QString());
    if (d.name.isEmpty())
        d.name = u"Устройство без названия"_s;
    d.platform = JsonReader::string(object.value(u"platform")).value_or(QString());
    return d;
}
