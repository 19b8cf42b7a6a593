#include "link/HelperSocket.h"

#include "link/BackgroundQueue.h"

#include <QDir>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr qsizetype readChunk = 16384;

// Closes the descriptor on every path out of a round trip.
class SocketGuard {
public:
    explicit SocketGuard(int fd)
        : m_fd(fd)
    {}
    ~SocketGuard()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    SocketGuard(const SocketGuard&) = delete;
    SocketGuard& operator=(const SocketGuard&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

using Clock = std::chrono::steady_clock;

// What the replies of all exchanges in flight hold together, and its limit.
std::atomic<qsizetype> replyBudget{HelperSocket::replyBudgetBytes};
std::atomic<qsizetype> heldBytes{0};

// The part of the shared reply budget one exchange holds; given back when the
// exchange ends, on every path.
class Reservation {
public:
    Reservation() = default;
    ~Reservation() { heldBytes.fetch_sub(m_bytes); }
    Reservation(const Reservation&) = delete;
    Reservation& operator=(const Reservation&) = delete;

    qsizetype bytes() const { return m_bytes; }

    // False, holding no more than before, when the budget has no room left.
    bool growTo(qsizetype bytes)
    {
        const qsizetype more = bytes - m_bytes;
        qsizetype held = heldBytes.load();
        do {
            if (more > replyBudget.load() - held)
                return false;
        } while (!heldBytes.compare_exchange_weak(held, held + more));
        m_bytes = bytes;
        return true;
    }

private:
    qsizetype m_bytes = 0;
};

// The time-out in whole seconds, at least one: zero would mean "wait forever"
// to the socket options. Callers pass at least 2 s.
qint64 wholeSeconds(double timeoutSeconds)
{
    if (!(timeoutSeconds >= 1))
        return 1;
    return qint64(std::min(timeoutSeconds, 86400.0));
}

// Waits until `fd` is ready for `events`; false once `deadline` has passed.
bool waitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd watched{fd, events, 0};
        const int ready = ::poll(&watched, 1, int(std::min<qint64>(left.count(), INT_MAX)));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

bool writeAll(int fd, const char* data, qsizetype size, Clock::time_point deadline)
{
    while (size > 0) {
        if (!waitFor(fd, POLLOUT, deadline))
            return false;
        // MSG_NOSIGNAL: a helper that closed early must not raise SIGPIPE.
        const ssize_t n = ::send(fd, data, size_t(size), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

// Reads until the peer closes or a read fails. False when the deadline came
// first, or when the reply grew past its own limit or past what the shared
// budget has left. The buffer's room is taken from the budget before it grows.
bool readAll(int fd, Clock::time_point deadline, QByteArray& buffer, Reservation& room)
{
    char chunk[readChunk];
    for (;;) {
        if (!waitFor(fd, POLLIN, deadline))
            return false;
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (n <= 0)
            return true;
        const qsizetype needed = buffer.size() + n;
        if (needed > HelperSocket::maxReplyBytes)
            return false;
        if (needed > room.bytes()) {
            const qsizetype grown = std::min(HelperSocket::maxReplyBytes,
                                             std::max({needed, 2 * room.bytes(), readChunk}));
            if (!room.growTo(grown))
                return false;
            buffer.reserve(grown);
        }
        buffer.append(chunk, n);
    }
}

// Only a process of this user, or root, may be the helper: another local user
// could have put a socket of its own at the path.
bool peerIsThisUserOrRoot(int fd)
{
#if defined(SO_PEERCRED)
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof peer)
        return false;
    const uid_t uid = peer.uid;
#else
    uid_t uid = 0;
    gid_t gid = 0;
    if (::getpeereid(fd, &uid, &gid) != 0)
        return false;
#endif
    return uid == ::getuid() || uid == 0;
}

} // namespace

void HelperSocket::setReplyBudget(qsizetype bytes)
{
    replyBudget = bytes;
}

qsizetype HelperSocket::heldReplyBytes()
{
    return heldBytes.load();
}

QString HelperSocket::path()
{
    static const QString computed =
        QDir::homePath() + u"/Library/Application Support/Ovrin/control.sock";
    return computed;
}

std::optional<HelperReply> HelperSocket::roundTripAt(const QByteArray& socketPath,
                                                     const QString& method, const QString& target,
                                                     double timeoutSeconds,
                                                     const QByteArray& payload,
                                                     const Headers& headers)
{
    const std::optional<QByteArray> request = frame(method, target, payload, headers);
    if (!request)
        return std::nullopt;

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() > qsizetype(sizeof address.sun_path) - 1)
        return std::nullopt;
    std::memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));

    const qint64 seconds = wholeSeconds(timeoutSeconds);
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);

    const SocketGuard socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.fd() < 0)
        return std::nullopt;

    // Each single read or write, and the connect to a helper whose backlog is
    // full, waits at most the time-out; the deadline bounds them all together.
    timeval limit{};
    limit.tv_sec = time_t(seconds);
    ::setsockopt(socket.fd(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(socket.fd(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);

    int rc = 0;
    do {
        rc = ::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0 || !peerIsThisUserOrRoot(socket.fd()))
        return std::nullopt;

    if (!writeAll(socket.fd(), request->constData(), request->size(), deadline))
        return std::nullopt;

    QByteArray buffer;
    Reservation room;
    if (!readAll(socket.fd(), deadline, buffer, room))
        return std::nullopt;
    return parseReply(std::move(buffer));
}

std::optional<HelperReply> HelperSocket::roundTrip(const QString& method, const QString& target,
                                                   double timeoutSeconds, const QByteArray& payload,
                                                   const Headers& headers)
{
    return roundTripAt(path().toUtf8(), method, target, timeoutSeconds, payload, headers);
}

void HelperSocket::send(const QString& method, const QString& target, double timeoutSeconds,
                        const QByteArray& payload, const Headers& headers, Done done)
{
    BackgroundQueue::pool()->start(
        [method, target, timeoutSeconds, payload, headers, done = std::move(done)] {
            done(roundTrip(method, target, timeoutSeconds, payload, headers));
        });
}

void HelperSocket::send(const QString& method, const QString& target, double timeoutSeconds,
                        Done done)
{
    send(method, target, timeoutSeconds, {}, {}, std::move(done));
}
