#pragma once

#include <QString>
#include <QUrl>

#include <optional>

// The application's own links: "ovrin://auth?challenge_id=…&link_token=…"
// from a sign-in letter, and "ovrin://pair?id=…&token=…" that a new device
// shows as text and as a QR code and a signed-in device reads back.
//
// A link is read only with scheme "ovrin", exactly its host and a non-empty
// first item of each of its two keys: a later item of the same name is never
// looked at, other items are ignored. The values come back decoded.
namespace OvrinLink {

struct Auth {
    QString challengeId;
    QString linkToken;
};

struct Pair {
    QString id;
    QString token;
};

std::optional<Auth> parseAuth(const QUrl& url);

// Text as typed or pasted: the white space around it is dropped and the rest
// is read strictly.
std::optional<Pair> parsePair(const QString& text);

// The link for a pairing request, its values percent-encoded where the query
// needs it ("%", "&", "=", "#", "+", spaces, non-ASCII). Empty when the URL
// cannot be made.
QString composePair(const QString& id, const QString& token);

} // namespace OvrinLink
