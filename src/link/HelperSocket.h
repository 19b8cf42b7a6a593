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

// Replies larger than this (64 MiB) are no reply.
inline constexpr qsizetype maxReplyBytes = qsizetype(64) * 1024 * 1024;
// What the replies of all round trips in flight may hold together (256 MiB,
// room for four replies of the largest size). A round trip takes room from it
// as its reply arrives (the room its buffer grows to, in steps that double
// from 16 KiB) and gives it back when it ends; one that finds no room left is
// no reply. So a helper cannot exhaust our memory through the 64 threads of
// the background queue either.
inline constexpr qsizetype replyBudgetBytes = qsizetype(256) * 1024 * 1024;

// "$HOME/Library/Application Support/Ovrin/control.sock", computed once on
// first use (safe against concurrent first use) and kept for the process.
QString path();

// Synchronous; callable from any thread. `timeoutSeconds` is truncated to
// whole seconds (at least 1, at most a day). It bounds each single read or
// write and also the whole exchange, connect, write and read together: an
// exchange still going when it has passed is no reply, however steadily bytes
// arrive, and so is a reply on a connection the helper keeps open. The
// socket's peer must be a process of this user or of root; any other is no
// reply and is sent nothing. A target holding a space or a control character,
// or a header holding a control character, is never written: no reply, no
// connection.
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
std::optional<HelperReply> parseReply(QByteArray bytes);

// Replaces replyBudgetBytes, so that tests can reach the limit cheaply.
void setReplyBudget(qsizetype bytes);
// The room the round trips in flight hold of the budget now.
qsizetype heldReplyBytes();

} // namespace HelperSocket
