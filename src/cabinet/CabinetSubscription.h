#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

// The account's subscription as the cabinet reports it. Times are seconds
// since 1970-01-01 UTC.
struct CabinetSubscription {
    bool active = false;
    QString plan_id;
    QString plan_name;
    qint64 ends_at = 0; // 0 or less: no end
    qint64 devices_limit = 0;

    CabinetSubscription() = default;
    CabinetSubscription(bool active, QString plan_id, QString plan_name, qint64 ends_at,
                        qint64 devices_limit);

    static std::optional<CabinetSubscription> fromJson(const QJsonObject& object);

    // The time left at `at`, as the cabinet shows it: "Осталось дней: N" with
    // N rounded up, or one of the texts for no subscription, no end, ended,
    // or less than a day.
    QString remaining(const QDateTime& at) const;

    friend bool operator==(const CabinetSubscription&, const CabinetSubscription&) = default;
};
