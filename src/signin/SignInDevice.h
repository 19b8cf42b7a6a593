#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

// A device the center offers for replacement when every device place is
// taken ("device_limit"). `id` is never empty; it goes back to the center as
// `replace_device_id`.
struct SignInDevice {
    QString id;
    QString name;
    QString platform; // empty when the center gives none

    SignInDevice() = default;
    SignInDevice(QString id, QString name, QString platform);

    // Unlike the strict records, only `id` is required (a non-empty string);
    // the entry is skipped without it. A missing, non-text or empty `name`
    // becomes "Устройство без названия", a missing or non-text `platform` "".
    static std::optional<SignInDevice> fromJson(const QJsonObject& object);

    friend bool operator==(const SignInDevice&, const SignInDevice&) = default;
};
