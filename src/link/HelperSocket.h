#pragma once

#include "link/HelperReply.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <functional>
#include <optional>

// The one client of the helper's control socket. Every request is one
// connection: a minimal HTTP/1.0 request is written, the reply is read until
// the helper closes the connection. Any failure on the way (no socket, a
// time-out before anything arrived, a malformed reply, a request that could
// not be framed safely) is "no reply": std::nullopt, never an error code.
namespace HelperSocket {

using Headers = QMap<QString, QString>;
using Done = std::function<void(std::optional<HelperReply>)>;

// Replies larger than this are no reply: the helper cannot exhaust our memory.
inline constexpr qsizetype maxReplyBytes = qsizetype(64) * 1024 * 1024;

// "$HOME/Library/Application Support/Ovrin/control.sock", computed once on
// first use (safe against concurrent first use) and kept for the process.
QString path();

// Synchronous; callable from any thread. `timeoutSeconds` is truncated to
// whole seconds and applies to each single read or write, not to the whole
// exchange. A target holding a space or a control character, or a header
// holding a control character, is never written: no reply, no connection.
std::optional<HelperReply> roundTrip(const QString& method, const QString& target,
                                     double timeoutSeconds, const QByteArray& payload = {},
                                     const Headers& headers = {});

// The same exchange on an explicit socket path, for tools and tests.
std::optional<HelperReply> roundTripAt(const QByteArray& socketPath, const QString& method,
                                       const QString& target, double timeoutSeconds,
                                       const QByteArray& payload = {}, const Headers& headers = {});

// Schedules one roundTrip on BackgroundQueue::pool() and returns at once.
// `done` runs exactly once, on that background thread: callers hand anything
// that touches application state to the main thread themselves.
void send(const QString& method, const QString& target, double timeoutSeconds,
          const QByteArray& payload, const Headers& headers, Done done);
void send(const QString& method, const QString& target, double timeoutSeconds, Done done);

// The bytes roundTrip would write, or nothing when the request is unsafe to
// frame. Exposed so the frame can be checked without a socket.
std::optional<QByteArray> frame(const QString& method, const QString& target,
                                const QByteArray& payload, const Headers& headers);

// Parses a whole reply as read from the socket; nothing when malformed.
std::optional<HelperReply> parseReply(const QByteArray& bytes);

} // namespace HelperSocket
