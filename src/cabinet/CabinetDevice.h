#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

// A device that uses the subscription.
struct CabinetDevice {
    QString id;
    QString name; // may be empty
    QString platform;
    qint64 last_seen_at = 0; // seconds since 1970; below 1: unknown
    bool current = false;    // the computer this application runs on

    CabinetDevice() = default;
    CabinetDevice(QString id, QString name, QString platform, qint64 last_seen_at, bool current);

    static std::optional<CabinetDevice> fromJson(const QJsonObject& object);

    friend bool operator==(const CabinetDevice&, const CabinetDevice&) = default;
};
