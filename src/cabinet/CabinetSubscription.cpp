#include "cabinet/CabinetSubscription.h"

#include "link/JsonReader.h"

#include <QtNumeric>

#include <limits>

using namespace Qt::StringLiterals;

CabinetSubscription::CabinetSubscription(bool active, QString plan_id, QString plan_name,
                                         qint64 ends_at, qint64 devices_limit)
    : active(active)
    , plan_id(std::move(plan_id))
    , plan_name(std::move(plan_name))
    , ends_at(ends_at)
    , devices_limit(devices_limit)
{}

std::optional<CabinetSubscription> CabinetSubscription::fromJson(const QJsonObject& object)
{
    CabinetSubscription s;
    JsonReader in(object);
    in.read(u"active", s.active)
        .read(u"plan_id", s.plan_id)
        .read(u"plan_name", s.plan_name)
        .read(u"ends_at", s.ends_at)
        .read(u"devices_limit", s.devices_limit);
    if (!in.ok())
        return std::nullopt;
    return s;
}

QString CabinetSubscription::remaining(const QDateTime& at) const
{
    if (!active)
        return u"Нет действующей подписки"_s;
    if (ends_at < 1)
        return u"Бессрочная подписка"_s;

    // The time left is ends_at − at to the millisecond, worked out on whole
    // seconds and the millisecond part of `at` so that no value the center
    // can send, and no `at`, overflows: left = seconds − fraction / 1000.
    constexpr qint64 day = 86'400;
    const qint64 atMs = at.toMSecsSinceEpoch();
    const qint64 below = atMs % 1000;
    const qint64 atSeconds = atMs / 1000 - (below < 0 ? 1 : 0);
    const qint64 fraction = below < 0 ? below + 1000 : below; // 0…999
    qint64 seconds = 0;
    if (qSubOverflow(ends_at, atSeconds, &seconds))
        seconds = std::numeric_limits<qint64>::max();

    if (seconds < 1)
        return u"Срок подписки истёк"_s;
    if (seconds < day || (seconds == day && fraction > 0))
        return u"Осталось меньше суток"_s;
    // With a fraction, left lies strictly between seconds − 1 and seconds,
    // where no whole number of days can fall.
    const qint64 days =
        fraction == 0 ? seconds / day + (seconds % day != 0 ? 1 : 0) : (seconds - 1) / day + 1;
    return u"Осталось дней: "_s + QString::number(days);
}
