#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMetaType>
#include <QString>

#include <optional>

// The account state the helper reports on "GET /account/status". Field
// names are the JSON keys. A default record is the state before the first
// successful read: every flag false, every text empty.
struct AccountStatus {
    bool bootstrap = false;
    bool signed_in = false;
    bool keychain_error = false;
    bool pending_credentials = false;
    QString device_id;
    bool active = false;
    QString plan;
    QString error;

    // All eight keys, each of its exact type, or nothing at all.
    static std::optional<AccountStatus> fromJson(const QJsonObject& object);
    static std::optional<AccountStatus> fromJson(const QByteArray& body);

    friend bool operator==(const AccountStatus&, const AccountStatus&) = default;
};
Q_DECLARE_METATYPE(AccountStatus)
