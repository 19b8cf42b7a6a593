// The cost of one helper round trip against the floor of the same exchange
// done with bare system calls, and of decoding a large status record.
#include "link/HelperSocket.h"
#include "link/Status.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray statusJson(int channels)
{
    QJsonArray names;
    QJsonArray best;
    for (int i = 0; i < channels; ++i) {
        names.append(u"Канал %1 · Frankfurt"_s.arg(i));
        best.append(qint64(40'000'000 + i));
    }
    return QJsonDocument(QJsonObject{{u"running"_s, true},
                                     {u"active"_s, 1},
                                     {u"auto"_s, false},
                                     {u"latency_ms"_s, 42},
                                     {u"down_bps"_s, 48000000},
                                     {u"up_bps"_s, 12000000},
                                     {u"peak_bps"_s, 61000000},
                                     {u"best_bps"_s, best},
                                     {u"check_wait_ms"_s, 0},
                                     {u"check_total_ms"_s, 2000},
                                     {u"check_next_ms"_s, 1500},
                                     {u"message"_s, u""_s},
                                     {u"channels"_s, names},
                                     {u"helper"_s, true},
                                     {u"primary"_s, true},
                                     {u"autoconnect"_s, false},
                                     {u"protected"_s, false},
                                     {u"protection_armed"_s, false},
                                     {u"verified"_s, true}})
        .toJson(QJsonDocument::Compact);
}

// A status reply of about 1 KiB, as a helper with a handful of channels sends.
QByteArray statusReply()
{
    QByteArray body = statusJson(8);
    body += QByteArray(qMax<qsizetype>(0, 1024 - body.size()), ' ');
    return "HTTP/1.0 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// One thread answering each connection in turn: read the head, write the
// reply, close. The same server serves both measurements.
class Server {
public:
    explicit Server(const QByteArray& path)
        : m_path(path)
        , m_reply(statusReply())
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_fd, 128) != 0)
            std::abort();
        m_thread = std::thread([this] { run(); });
    }
    ~Server()
    {
        m_stop = true;
        ::shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        ::close(m_fd);
    }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

private:
    void run()
    {
        char buffer[4096];
        while (!m_stop) {
            const int fd = ::accept(m_fd, nullptr, nullptr);
            if (fd < 0)
                continue;
            QByteArray request;
            while (!request.contains("\r\n\r\n")) {
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                request.append(buffer, n);
            }
            [[maybe_unused]] const ssize_t n =
                ::send(fd, m_reply.constData(), size_t(m_reply.size()), MSG_NOSIGNAL);
            ::close(fd);
        }
    }

    QByteArray m_path;
    QByteArray m_reply;
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

QTemporaryDir* folder()
{
    static QTemporaryDir dir(QDir::tempPath() + u"/ovrin-bench-XXXXXX"_s);
    return &dir;
}

QByteArray socketPath()
{
    return QFile::encodeName(folder()->path() + u"/control.sock"_s);
}

Server& server()
{
    static Server s(socketPath());
    return s;
}

void BM_RoundTrip(benchmark::State& state)
{
    server();
    const QByteArray path = socketPath();
    for (auto _ : state) {
        auto reply = HelperSocket::roundTripAt(path, u"GET"_s, u"/status"_s, 5);
        if (!reply || reply->status != 200)
            state.SkipWithError("no reply");
        benchmark::DoNotOptimize(reply);
    }
}
BENCHMARK(BM_RoundTrip)->UseRealTime()->MinTime(1.0);

// The floor: socket, connect, one write, read to EOF, close. No framing, no
// parsing, no validation.
void BM_BareSyscalls(benchmark::State& state)
{
    server();
    const QByteArray path = socketPath();
    const QByteArray request = *HelperSocket::frame(u"GET"_s, u"/status"_s, {}, {});
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    char buffer[16384];
    for (auto _ : state) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        [[maybe_unused]] ssize_t n = ::send(fd, request.constData(), size_t(request.size()), 0);
        size_t total = 0;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
            total += size_t(n);
        ::close(fd);
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_BareSyscalls)->UseRealTime()->MinTime(1.0);

void BM_DecodeStatus1000Channels(benchmark::State& state)
{
    const QByteArray body = statusJson(1000);
    for (auto _ : state) {
        auto status = Status::fromJson(body);
        if (!status || status->channels.size() != 1000)
            state.SkipWithError("did not decode");
        benchmark::DoNotOptimize(status);
    }
    state.counters["bytes"] = double(body.size());
}
BENCHMARK(BM_DecodeStatus1000Channels)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
