#include "link/HelperSocket.h"

#include "link/BackgroundQueue.h"

#include <QDir>
#include <QStringDecoder>
#include <QThreadPool>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

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

bool hasControl(QStringView text)
{
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            return true;
    }
    return false;
}

bool isSafeToken(QStringView text)
{
    return !text.isEmpty() && !hasControl(text) && !text.contains(u' ') && !text.contains(u':');
}

bool writeAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        // MSG_NOSIGNAL: a helper that closed early must not raise SIGPIPE.
        const ssize_t n = ::send(fd, data, size_t(size), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

// Reads until the peer closes or a read fails (a time-out included). False
// only when the reply grew past the size limit.
bool readAll(int fd, QByteArray& buffer)
{
    char chunk[readChunk];
    for (;;) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return true;
        if (buffer.size() + n > HelperSocket::maxReplyBytes)
            return false;
        buffer.append(chunk, n);
    }
}

std::optional<qint64> parseCode(QStringView piece)
{
    // One optional sign, then ASCII digits only, within 64 bits.
    const QByteArray ascii = piece.toLatin1();
    const char* first = ascii.constData();
    const char* last = first + ascii.size();
    const bool negative = first != last && *first == '-';
    if (first != last && (*first == '+' || *first == '-'))
        ++first;
    if (first == last || !std::all_of(first, last, [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    qint64 magnitude = 0;
    if (negative)
        --first; // from_chars reads the minus itself, so -2^63 stays in range
    const auto [end, ec] = std::from_chars(first, last, magnitude);
    if (ec != std::errc() || end != last)
        return std::nullopt;
    return magnitude;
}

} // namespace

QString HelperSocket::path()
{
    static const QString computed =
        QDir::homePath() + u"/Library/Application Support/Ovrin/control.sock";
    return computed;
}

std::optional<QByteArray> HelperSocket::frame(const QString& method, const QString& target,
                                              const QByteArray& payload, const Headers& headers)
{
    if (method.isEmpty() || hasControl(method) || method.contains(u' '))
        return std::nullopt;
    if (target.isEmpty() || hasControl(target) || target.contains(u' '))
        return std::nullopt;
    QString head = method + u' ' + target + u" HTTP/1.0\r\n" + u"Host: ovrin\r\n" +
                   u"Content-Type: application/json\r\n" + u"Content-Length: " +
                   QString::number(payload.size()) + u"\r\n";
    for (auto it = headers.cbegin(); it != headers.cend(); ++it) {
        if (!isSafeToken(it.key()) || hasControl(it.value()))
            return std::nullopt;
        head += it.key() + u": " + it.value() + u"\r\n";
    }
    head += u"\r\n";
    return head.toUtf8() + payload;
}

std::optional<HelperReply> HelperSocket::parseReply(const QByteArray& bytes)
{
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    if (end < 0)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString head = decoder.decode(QByteArrayView(bytes.constData(), end));
    if (decoder.hasError())
        return std::nullopt;
    const QList<QStringView> pieces = QStringView(head).split(u' ', Qt::SkipEmptyParts);
    if (pieces.size() < 2)
        return std::nullopt;
    const std::optional<qint64> code = parseCode(pieces.at(1));
    if (!code)
        return std::nullopt;
    return HelperReply{*code, bytes.mid(end + 4)};
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

    const SocketGuard socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.fd() < 0)
        return std::nullopt;

    // A zero time-out would mean "wait forever"; callers pass at least 2 s.
    timeval limit{};
    limit.tv_sec = std::max<time_t>(1, time_t(std::trunc(timeoutSeconds)));
    ::setsockopt(socket.fd(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(socket.fd(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);

    int rc = 0;
    do {
        rc = ::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0)
        return std::nullopt;

    if (!writeAll(socket.fd(), request->constData(), request->size()))
        return std::nullopt;

    QByteArray buffer;
    if (!readAll(socket.fd(), buffer))
        return std::nullopt;
    return parseReply(buffer);
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
