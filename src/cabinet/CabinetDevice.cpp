#include "cabinet/CabinetDevice.h"

#include "link/JsonReader.h"

CabinetDevice::CabinetDevice(QString id, QString name, QString platform, qint64 last_seen_at,
                             bool current)
    : id(std::move(id))
    , name(std::move(name))
    , platform(std::move(platform))
    , last_seen_at(last_seen_at)
    , current(current)
{}

std::optional<CabinetDevice> CabinetDevice::fromJson(const QJsonObject& object)
{
    CabinetDevice d;
    JsonReader in(object);
    in.read(u"id", d.id)
        .read(u"name", d.name)
        .read(u"platform", d.platform)
        .read(u"last_seen_at", d.last_seen_at)
        .read(u"current", d.current);
    if (!in.ok())
        return std::nullopt;
    return d;
}
