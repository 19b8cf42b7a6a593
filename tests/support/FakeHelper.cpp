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
    for (qsizetype done = 0, n = 0; done < bytes.size(); done += n) {
        n = ::send(fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            n = 0;
        else if (n <= 0)
            return;
    }
}

// The events on `fd`; -1 once `wake` fired, on an error or at the time-out.
int waitOn(int fd, int wake, int timeoutMs)
{
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
    const int n = ::poll(fds, 2, timeoutMs);
    if (n < 0 && errno == EINTR)
        return 0;
    return n <= 0 || (fds[1].revents & POLLIN) ? -1 : fds[0].revents;
}

// The request line and the headers of `head`, its lines ending in CR LF or LF.
void parseHead(FakeHelper::Request& request, const QByteArray& head)
{
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray& line : lines)
        line.chop(line.endsWith('\r') ? 1 : 0);
    request.requestLine = lines.value(0);
    const QList<QByteArray> parts = request.requestLine.split(' ');
    request.method = parts.value(0);
    request.target = parts.value(1);
    for (qsizetype i = 1, colon = 0; i < lines.size(); ++i) {
        if ((colon = lines[i].indexOf(':')) > 0)
            request.headers.append({lines[i].left(colon), lines[i].mid(colon + 1).trimmed()});
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
    return {{}, {}, {}, {}, End::Stall};
}

FakeHelper::Reply FakeHelper::Reply::closeWithoutAnswer()
{
    return {{}, {}, {}, {}, End::CloseWithoutAnswer};
}

FakeHelper::Reply FakeHelper::Reply::drip(ms every)
{
    return {"HTTP/1.0 200 OK\r\nContent-Type: application/json\r\n\r\n", {}, {}, every, End::Drip};
}

QByteArray FakeHelper::Request::header(const QByteArray& name) const
{
    const auto it = std::find_if(headers.cbegin(), headers.cend(), [&](const auto& h) {
        return h.first.compare(name, Qt::CaseInsensitive) == 0;
    });
    return it == headers.cend() ? QByteArray() : it->second;
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
    const uint64_t one = 1;
    [[maybe_unused]] const bool woken = m_wakeFd >= 0 && ::write(m_wakeFd, &one, sizeof one) > 0;
    std::unique_lock lock(m_mutex);
    m_changed.notify_all();
    lock.unlock();
    if (m_acceptor.joinable())
        m_acceptor.join();
    lock.lock();
    std::vector<std::thread> workers = std::move(m_workers);
    lock.unlock();
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
    for (int events = 0; (events = waitOn(m_listenFd, m_wakeFd, -1)) >= 0 && !m_stopping;) {
        const int fd = events & POLLIN ? ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
        if (fd >= 0 && m_closeOnAccept) {
            ::close(fd);
        } else if (fd >= 0) {
            const std::lock_guard lock(m_mutex);
            m_workers.emplace_back([this, fd] { serve(fd); });
        }
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
    while ((wanted < 0 || request.raw.size() < wanted) && waitOn(fd, m_wakeFd, 5000) > 0) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            break;
        request.raw.append(chunk, n);
        if (headEnd < 0 && (headEnd = request.raw.indexOf("\r\n\r\n")) >= 0) {
            parseHead(request, request.raw.left(headEnd));
            wanted = headEnd + 4 + request.header("Content-Length").toLongLong();
        }
    }
    if (headEnd < 0)
        parseHead(request, request.raw);
    else
        request.body = request.raw.mid(headEnd + 4);

    const Reply reply = choose(request);

    using enum Reply::End;
    const bool answers =
        pause(reply.delay) && reply.end != Stall && reply.end != CloseWithoutAnswer;
    if (answers)
        writeAll(fd, reply.head);
    if (answers && reply.end == Drip) {
        while (pause(reply.bodyDelay) && ::send(fd, "x", 1, MSG_NOSIGNAL) == 1) {
        }
    } else if (answers && !reply.body.isEmpty() && pause(reply.bodyDelay)) {
        writeAll(fd, reply.body);
    }
    // Once stopping, the wake-up descriptor ends the hold at once.
    if (reply.end == Stall || reply.end == KeepOpen)
        holdUntilClientLeaves(fd);
    ::close(fd);
    --m_open;
}

// Records the request, then picks its reply.
FakeHelper::Reply FakeHelper::choose(const Request& request)
{
    const std::lock_guard lock(m_mutex);
    m_requests.append(request);
    m_changed.notify_all();
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
    for (int events = 0; (events = waitOn(fd, m_wakeFd, -1)) >= 0;) {
        if ((events & (POLLHUP | POLLERR)) ||
            ((events & POLLIN) && ::recv(fd, sink, sizeof sink, 0) <= 0))
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
    QList<Request> all = requests();
    all.removeIf([&](const Request& r) { return r.method != method || pathOf(r.target) != path; });
    return all;
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
