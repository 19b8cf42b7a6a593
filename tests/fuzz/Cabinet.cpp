// The cabinet reply on arbitrary bytes. A tree that decodes must decode
// again, equal, from its own encoding, and every text the cabinet shows for
// it (prices, dates, the time left) must be made without fault.
#include "FuzzInput.h"
#include "cabinet/CabinetData.h"
#include "cabinet/CabinetFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTimeZone>

#include <algorithm>

namespace {

QJsonObject encoded(const CabinetData& c)
{
    const CabinetSubscription& s = c.subscription;
    QJsonArray devices;
    for (const CabinetDevice& d : c.devices) {
        devices.append(QJsonObject{{QStringLiteral("id"), d.id},
                                   {QStringLiteral("name"), d.name},
                                   {QStringLiteral("platform"), d.platform},
                                   {QStringLiteral("last_seen_at"), d.last_seen_at},
                                   {QStringLiteral("current"), d.current}});
    }
    QJsonArray plans;
    for (const CabinetPlan& p : c.plans) {
        plans.append(QJsonObject{{QStringLiteral("id"), p.id},
                                 {QStringLiteral("name"), p.name},
                                 {QStringLiteral("price_minor"), p.price_minor},
                                 {QStringLiteral("currency"), p.currency},
                                 {QStringLiteral("period_days"), p.period_days},
                                 {QStringLiteral("devices_limit"), p.devices_limit}});
    }
    return QJsonObject{{QStringLiteral("subscription"),
                        QJsonObject{{QStringLiteral("active"), s.active},
                                    {QStringLiteral("plan_id"), s.plan_id},
                                    {QStringLiteral("plan_name"), s.plan_name},
                                    {QStringLiteral("ends_at"), s.ends_at},
                                    {QStringLiteral("devices_limit"), s.devices_limit}}},
                       {QStringLiteral("devices"), devices},
                       {QStringLiteral("plans"), plans},
                       {QStringLiteral("loaded_at"), c.loaded_at}};
}

// Lone surrogates do not survive UTF-8; such texts cannot round-trip.
bool encodable(const CabinetData& c)
{
    QList<const QString*> texts = {&c.subscription.plan_id, &c.subscription.plan_name};
    for (const CabinetDevice& d : c.devices)
        texts << &d.id << &d.name << &d.platform;
    for (const CabinetPlan& p : c.plans)
        texts << &p.id << &p.name << &p.currency;
    return std::all_of(texts.cbegin(), texts.cend(),
                       [](const QString* text) { return text->isValidUtf16(); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<CabinetData> cabinet = CabinetData::fromJson(body);
    if (!cabinet)
        return 0;
    if (encodable(*cabinet)) {
        const QByteArray again = QJsonDocument(encoded(*cabinet)).toJson(QJsonDocument::Compact);
        FUZZ_REQUIRE(CabinetData::fromJson(again) == cabinet);
    }

    const QString utc = QStringLiteral("UTC");
    FUZZ_REQUIRE(!CabinetFormat::dateTime(cabinet->loaded_at, utc).isEmpty());
    FUZZ_REQUIRE(!CabinetFormat::dateTime(cabinet->subscription.ends_at, utc).isEmpty());
    const QDateTime loaded = QDateTime::fromSecsSinceEpoch(cabinet->loaded_at, QTimeZone::utc());
    FUZZ_REQUIRE(!cabinet->subscription.remaining(loaded).isEmpty());
    for (const CabinetDevice& d : cabinet->devices)
        FUZZ_REQUIRE(!CabinetFormat::dateTime(d.last_seen_at, utc).isEmpty());
    for (const CabinetPlan& p : cabinet->plans)
        FUZZ_REQUIRE(!p.price().isEmpty());
    return 0;
}
