#include "cabinet/CabinetData.h"

#include "link/JsonReader.h"

CabinetData::CabinetData(CabinetSubscription subscription, QList<CabinetDevice> devices,
                         QList<CabinetPlan> plans, qint64 loaded_at)
    : subscription(std::move(subscription))
    , devices(std::move(devices))
    , plans(std::move(plans))
    , loaded_at(loaded_at)
{}

std::optional<CabinetData> CabinetData::fromJson(const QJsonObject& object)
{
    CabinetData c;
    JsonReader in(object);
    in.read(u"subscription", c.subscription)
        .read(u"devices", c.devices)
        .read(u"plans", c.plans)
        .read(u"loaded_at", c.loaded_at);
    if (!in.ok())
        return std::nullopt;
    return c;
}

std::optional<CabinetData> CabinetData::fromJson(const QByteArray& body)
{
    const std::optional<QJsonObject> object = JsonReader::parseObject(body);
    if (!object)
        return std::nullopt;
    return fromJson(*object);
}
