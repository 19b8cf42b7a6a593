#pragma once

#include <QString>

#include <optional>

// The device-pairing link "ovrin://pair?id=…&token=…" that a new device
// shows as text and as a QR code, and that a signed-in device reads back.
namespace PairingLink {

struct Parts {
    QString id;
    QString token;
};

// The link for a pairing request, its values percent-encoded where the query
// needs it ("%", "&", "=", "#", "+", spaces, non-ASCII). Empty when the URL
// cannot be made.
QString compose(const QString& id, const QString& token);

// Accepts only scheme "ovrin", host "pair", and a non-empty first "id" and
// first "token" item; the values come back decoded.
std::optional<Parts> parse(const QString& text);

} // namespace PairingLink
