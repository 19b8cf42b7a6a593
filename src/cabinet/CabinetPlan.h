#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

// A plan offered for purchase.
struct CabinetPlan {
    QString id;
    QString name;
    qint64 price_minor = 0; // hundredths of `currency`
    QString currency;       // ISO 4217 code
    qint64 period_days = 0;
    qint64 devices_limit = 0;

    CabinetPlan() = default;
    CabinetPlan(QString id, QString name, qint64 price_minor, QString currency, qint64 period_days,
                qint64 devices_limit);

    static std::optional<CabinetPlan> fromJson(const QJsonObject& object);

    // The price in the Russian style with the currency's sign, or "—" when
    // the currency code cannot be formatted.
    QString price() const;

    friend bool operator==(const CabinetPlan&, const CabinetPlan&) = default;
};
