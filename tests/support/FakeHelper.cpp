#include "FakeHelper.h"

#include "link/BackgroundQueue.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QThreadPool>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

QByteArray headFor(int code, const char* type, qsizetype length)
{
    // The client reads the code alone; the reason phrase is any text.
    return "HTTP/1.0 " + QByteArray::number(code) + " Status" + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + QByteArray::number(length) + "\r\n\r\n";
}

void writeAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::send(fd, p, size_t(left), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        p += n;
        left -= n;
    }
}

QByteArray pathOf(const QByteArray& target)
{
    const qsizetype q = target.indexOf('?');
    return q < 0 ? target : target.left(q);
}

} // namespace

FakeHelper::Reply FakeHelper::Reply::json(int code, const QByteArray& body)
{
    return Reply{headFor(code, "application/json", body.size()), body};
}

FakeHelper::Reply FakeHelper::Reply::text(int code, const QByteArray& body)
{
    return Reply{headFor(code, "text/plain; charset=utf-8", body.size()), body};
}

FakeHelper::Reply FakeHelper::Reply::stall()
{
    Reply r;
    r.end = End::Stall;
    return r;
}

FakeHelper::Reply FakeHelper::Reply::closeWithoutAnswer()
{
    Reply r;
    r.end = End::CloseWithoutAnswer;
    return r;
}

FakeHelper::Reply FakeHelper::Reply::drip(ms every)
{
    Reply r{"HTTP/1.0 200 OK\r\nContent-Type: application/json\r\n\r\n", {}};
    r.bodyDelay = every;
    r.end = End::Drip;
    return r;
}

QByteArray FakeHelper::Request::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

FakeHelper::FakeHelper(const QString& socketPath)
    : m_path(socketPath)
    , m_fallback(Reply::json(404, R"({"error":"not_found"})"))
{
    QDir().mkpath(QFileInfo(socketPath).absolutePath());
    const QByteArray native = QFile::encodeName(socketPath);
    ::unlink(native.constData());

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (native.size() >= qsizetype(sizeof address.sun_path))
        return;
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 128) != 0) {
        ::close(fd);
        return;
    }
    m_listenFd = fd;
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC);
    m_acceptor = std::thread([this] { acceptLoop(); });
}

FakeHelper::~FakeHelper()
{
    stop();
    // Round trips still queued would otherwise reach the next fake helper
    // listening on the same path, the next test's.
    BackgroundQueue::pool()->waitForDone(10'000);
}

void FakeHelper::stop()
{
    if (m_stopping.exchange(true))
        return;
    if (m_wakeFd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof one);
    }
    {
        const std::lock_guard lock(m_mutex);
        m_changed.notify_all();
    }
    if (m_acceptor.joinable())
        m_acceptor.join();
    std::vector<std::thread> workers;
    {
        const std::lock_guard lock(m_mutex);
        workers.swap(m_workers);
    }
    for (std::thread& t : workers)
        t.join();
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
        ::unlink(QFile::encodeName(m_path).constData());
        m_listenFd = -1;
    }
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
    m_wakeFd = -1;
}

void FakeHelper::acceptLoop()
{
    while (!m_stopping) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (m_stopping || (fds[1].revents & POLLIN))
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        if (m_closeOnAccept) {
            ::close(fd);
            continue;
        }
        const std::lock_guard lock(m_mutex);
        m_workers.emplace_back([this, fd] { serve(fd); });
    }
}

void FakeHelper::serve(int fd)
{
    ++m_open;
    Request request;
    qsizetype headEnd = -1;
    qsizetype wanted = -1;
    char chunk[16384];
    // The client writes its whole request at once; 5 s is ample for a test.
    while (wanted < 0 || request.raw.size() < wanted) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, 5000) <= 0 || (fds[1].revents & POLLIN))
            break;
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            break;
        request.raw.append(chunk, n);
        if (headEnd < 0 && (headEnd = request.raw.indexOf("\r\n\r\n")) >= 0) {
            qsizetype length = 0;
            const QList<QByteArray> lines = request.raw.left(headEnd).split('\n');
            for (const QByteArray& line : lines) {
                const qsizetype colon = line.indexOf(':');
                if (colon > 0 && line.left(colon).trimmed().toLower() == "content-length")
                    length = line.mid(colon + 1).trimmed().toLongLong();
            }
            wanted = headEnd + 4 + length;
        }
    }

    const QByteArray head = headEnd < 0 ? request.raw : request.raw.left(headEnd);
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray& line : lines)
        line.chop(line.endsWith('\r') ? 1 : 0);
    request.requestLine = lines.value(0);
    const QList<QByteArray> parts = request.requestLine.split(' ');
    request.method = parts.value(0);
    request.target = parts.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers.append({lines[i].left(colon), lines[i].mid(colon + 1).trimmed()});
    }
    if (headEnd >= 0)
        request.body = request.raw.mid(headEnd + 4);

    const Reply reply = choose(request);
    {
        const std::lock_guard lock(m_mutex);
        m_requests.append(request);
        m_changed.notify_all();
    }

    bool alive = pause(reply.delay);
    if (alive && reply.end == Reply::End::Drip) {
        writeAll(fd, reply.head);
        while (pause(reply.bodyDelay) && ::send(fd, "x", 1, MSG_NOSIGNAL) == 1) {
        }
    } else if (alive && reply.end != Reply::End::Stall &&
               reply.end != Reply::End::CloseWithoutAnswer) {
        writeAll(fd, reply.head);
        if (!reply.body.isEmpty() && pause(reply.bodyDelay))
            writeAll(fd, reply.body);
    }
    if (alive && (reply.end == Reply::End::Stall || reply.end == Reply::End::KeepOpen))
        holdUntilClientLeaves(fd);
    ::close(fd);
    --m_open;
}

FakeHelper::Reply FakeHelper::choose(const Request& request)
{
    const std::lock_guard lock(m_mutex);
    for (const QByteArray& target : {request.target, pathOf(request.target)}) {
        const auto key = std::make_pair(request.method, target);
        if (auto it = m_routes.find(key); it != m_routes.end())
            return it->second;
    }
    return m_fallback;
}

bool FakeHelper::pause(ms d)
{
    std::unique_lock lock(m_mutex);
    return !m_changed.wait_for(lock, d, [this] { return m_stopping.load(); });
}

void FakeHelper::holdUntilClientLeaves(int fd)
{
    char sink[4096];
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents & POLLIN)
            return;
        if (fds[0].revents & (POLLHUP | POLLERR))
            return;
        if ((fds[0].revents & POLLIN) && ::recv(fd, sink, sizeof sink, 0) <= 0)
            return;
    }
}

void FakeHelper::route(const QByteArray& method, const QByteArray& target, const Reply& reply)
{
    const std::lock_guard lock(m_mutex);
    m_routes[{method, target}] = reply;
}

void FakeHelper::fallback(const Reply& reply)
{
    const std::lock_guard lock(m_mutex);
    m_fallback = reply;
}

QList<FakeHelper::Request> FakeHelper::requests() const
{
    const std::lock_guard lock(m_mutex);
    return m_requests;
}

QList<FakeHelper::Request> FakeHelper::requests(const QByteArray& method,
                                                const QByteArray& path) const
{
    QList<Request> matching;
    for (const Request& r : requests()) {
        if (r.method == method && pathOf(r.target) == path)
            matching.append(r);
    }
    return matching;
}

int FakeHelper::count(const QByteArray& method, const QByteArray& path) const
{
    return int(requests(method, path).size());
}

void FakeHelper::clearRequests()
{
    const std::lock_guard lock(m_mutex);
    m_requests.clear();
}

bool FakeHelper::waitForRequests(int n, ms timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_requests.size() >= n; });
}

bool settleRoundTrips(FakeHelper::ms timeout)
{
    const QDeadlineTimer deadline(timeout);
    QThreadPool* pool = BackgroundQueue::pool();
    while (!deadline.hasExpired()) {
        if (!pool->waitForDone(int(std::max<qint64>(1, deadline.remainingTime()))))
            return false;
        QCoreApplication::processEvents();
        if (pool->activeThreadCount() == 0)
            return true;
    }
    return false;
}
