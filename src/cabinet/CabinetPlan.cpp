#include "cabinet/CabinetPlan.h"

#include "cabinet/CabinetFormat.h"
#include "link/JsonReader.h"

CabinetPlan::CabinetPlan(QString id, QString name, qint64 price_minor, QString currency,
                         qint64 period_days, qint64 devices_limit)
    : id(std::move(id))
    , name(std::move(name))
    , price_minor(price_minor)
    , currency(std::move(currency))
    , period_days(period_days)
    , devices_limit(devices_limit)
{}

std::optional<CabinetPlan> CabinetPlan::fromJson(const QJsonObject& object)
{
    CabinetPlan p;
    JsonReader in(object);
    in.read(u"id", p.id)
        .read(u"name", p.name)
        .read(u"price_minor", p.price_minor)
        .read(u"currency", p.currency)
        .read(u"period_days", p.period_days)
        .read(u"devices_limit", p.devices_limit);
    if (!in.ok())
        return std::nullopt;
    return p;
}

QString CabinetPlan::price() const
{
    return CabinetFormat::price(price_minor, currency);
}
