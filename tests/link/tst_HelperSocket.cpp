// Round trips over a real Unix socket against the scripted fake helper.
#include "FakeHelper.h"
#include "TestHome.h"
#include "link/BackgroundQueue.h"
#include "link/HelperSocket.h"

#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <atomic>
#include <csignal>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Reply = FakeHelper::Reply;
Q_DECLARE_METATYPE(FakeHelper::Reply)

namespace {

bool readWithin(int fd, void* data, size_t size)
{
    pollfd ready{fd, POLLIN, 0};
    return ::poll(&ready, 1, 10'000) == 1 && ::read(fd, data, size) == ssize_t(size);
}

// In a forked child: listens on `path` as `user` (as this user when null),
// serves one connection and writes to `report` first 'L' (listening) or 'X',
// then how many request bytes arrived. A client sees the credentials of the
// process that called listen(), so the switch of user comes before it.
[[noreturn]] void serveOnce(const QByteArray& path, const passwd* user, int report)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool listening =
        fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        (!user || (::setgroups(0, nullptr) == 0 && ::setgid(user->pw_gid) == 0 &&
                   ::setuid(user->pw_uid) == 0)) &&
        ::listen(fd, 1) == 0;
    const char state = listening ? 'L' : 'X';
    [[maybe_unused]] ssize_t n = ::write(report, &state, 1);
    qint64 received = -1;
    pollfd waiting{fd, POLLIN, 0};
    if (listening && ::poll(&waiting, 1, 10'000) == 1) {
        const int connection = ::accept(fd, nullptr, nullptr);
        received = 0;
        quint32 last4 = 0;
        char chunk[4096];
        pollfd readable{connection, POLLIN, 0};
        while (::poll(&readable, 1, 5000) == 1) {
            const ssize_t got = ::read(connection, chunk, sizeof chunk);
            if (got <= 0)
                break;
            received += got;
            for (ssize_t i = 0; i < got; ++i)
                last4 = last4 << 8 | quint8(chunk[i]);
            if (last4 == 0x0d0a0d0a) {
                static constexpr char answer[] = "HTTP/1.0 200 OK\r\n\r\n{}";
                n = ::write(connection, answer, sizeof answer - 1);
                break;
            }
        }
        ::close(connection);
    }
    n = ::write(report, &received, sizeof received);
    ::_exit(0);
}

} // namespace

class HelperSocketTest : public QObject {
    Q_OBJECT

    TestHome m_home; // before any use of HelperSocket::path()
    std::unique_ptr<FakeHelper> m_helper;

private Q_SLOTS:
    void init()
    {
        m_helper = std::make_unique<FakeHelper>(m_home.socketPath());
        QVERIFY(m_helper->listening());
    }
    void cleanup() { m_helper.reset(); }

    void pathIsUnderTheHomeDataFolder() { QCOMPARE(HelperSocket::path(), m_home.socketPath()); }

    void requestArrivesByteForByte()
    {
        m_helper->route("POST", "/account/pair/status",
                        Reply::json(200, R"({"status":"pending"})"));
        const QByteArray payload = u"{\"id\":\"7\"}"_s.toUtf8();
        const auto reply = HelperSocket::roundTrip(u"POST"_s, u"/account/pair/status?id=7"_s, 5,
                                                   payload, {{u"X-Pair-Secret"_s, u"абв"_s}});
        QVERIFY(reply);
        QCOMPARE(reply->status, 200);
        QCOMPARE(reply->body, QByteArray(R"({"status":"pending"})"));
        const QList<FakeHelper::Request> seen = m_helper->requests();
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].raw, *HelperSocket::frame(u"POST"_s, u"/account/pair/status?id=7"_s,
                                                   payload, {{u"X-Pair-Secret"_s, u"абв"_s}}));
        QCOMPARE(seen[0].header("X-Pair-Secret"), u"абв"_s.toUtf8());
        QCOMPARE(seen[0].body, payload);
    }

    void anyStatusCodeIsAReply()
    {
        m_helper->route("GET", "/status", Reply::text(500, {}));
        const auto reply = HelperSocket::roundTrip(u"GET"_s, u"/status"_s, 5);
        QVERIFY(reply);
        QCOMPARE(reply->status, 500);
        QVERIFY(reply->body.isEmpty());
    }

    void noHelperGivesNoReplyAtOnce()
    {
        m_helper.reset();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!HelperSocket::roundTrip(u"GET"_s, u"/status"_s, 5));
        QVERIFY(clock.elapsed() < 1000);
    }

    void failedExchangesGiveNoReply_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::newRow("closed without answer") << Reply::closeWithoutAnswer();
        QTest::newRow("stalled past the time-out") << Reply::stall();
        QTest::newRow("answered, left open") << Reply::json(200, "{}").keepOpen();
        QTest::newRow("endless drip") << Reply::drip(300ms);
        QTest::newRow("head without blank line") << Reply::raw("HTTP/1.0 200 OK\r\n");
        QTest::newRow("no reason, then headers")
            << Reply::raw("HTTP/1.0 200\r\nContent-Length: 2\r\n\r\n{}");
    }

    void failedExchangesGiveNoReply()
    {
        QFETCH(Reply, reply);
        m_helper->route("GET", "/status", reply);
        // On the pool, so that an exchange that never ends fails here instead of hanging.
        const auto outcome = std::make_shared<std::atomic<int>>(0); // 1: no reply, 2: a reply
        HelperSocket::send(u"GET"_s, u"/status"_s, 2,
                           [outcome](std::optional<HelperReply> r) { *outcome = r ? 2 : 1; });
        QTRY_VERIFY_WITH_TIMEOUT(outcome->load() != 0, 6000);
        QCOMPARE(outcome->load(), 1);
        QCOMPARE(m_helper->count("GET", "/status"), 1);
    }

    void slowReplyWithinTheTimeOutArrives()
    {
        // Head after 1 s, body after 1 s more: within the 3 s the exchange may take.
        m_helper->route("GET", "/status",
                        Reply::json(200, R"({"slow":true})").after(1s).bodyAfter(1s));
        QElapsedTimer clock;
        clock.start();
        const auto reply = HelperSocket::roundTrip(u"GET"_s, u"/status"_s, 3);
        QVERIFY(reply);
        QCOMPARE(reply->body, QByteArray(R"({"slow":true})"));
        QVERIFY(clock.elapsed() >= 1900);
    }

    void unsafeRequestMakesNoConnection()
    {
        QVERIFY(!HelperSocket::roundTrip(u"POST"_s, u"/connect?i=1\r\nX: y"_s, 5));
        QVERIFY(!HelperSocket::roundTrip(u"GET"_s, u"/account/pair/status?id=1"_s, 5, {},
                                         {{u"X-Pair-Secret"_s, u"x\r\nHost: evil"_s}}));
        // A good request afterwards is the first the helper ever sees.
        m_helper->route("GET", "/status", Reply::json(200, "{}"));
        QVERIFY(HelperSocket::roundTrip(u"GET"_s, u"/status"_s, 5));
        QCOMPARE(m_helper->requests().size(), 1);
        QCOMPARE(m_helper->requests().constFirst().requestLine, QByteArray("GET /status HTTP/1.0"));
    }

    void socketPathLimit_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("reachable");
        // sun_path holds 108 bytes with the terminating zero on this system.
        QTest::newRow("longest allowed") << 107 << true;
        QTest::newRow("one byte too long") << 108 << false;
    }

    void socketPathLimit()
    {
        QFETCH(int, length);
        QFETCH(bool, reachable);
        QString path = m_home.path() + u"/s"_s;
        path += QString(length - path.size() - 5, u'x') + u".sock"_s;
        QCOMPARE(path.size(), length);
        QVERIFY(!HelperSocket::roundTripAt(path.toUtf8(), u"GET"_s, u"/status"_s, 5));
        FakeHelper other(path);
        QCOMPARE(other.listening(), reachable);
        other.route("GET", "/status", Reply::json(200, "{}"));
        QCOMPARE(HelperSocket::roundTripAt(path.toUtf8(), u"GET"_s, u"/status"_s, 5).has_value(),
                 reachable);
    }

    void oversizedReplyIsNoReply()
    {
        const QByteArray body(HelperSocket::maxReplyBytes, 'x');
        m_helper->route("GET", "/status", Reply::json(200, body));
        QVERIFY(!HelperSocket::roundTrip(u"GET"_s, u"/status"_s, 5));

        const QByteArray fits(HelperSocket::maxReplyBytes - 200, 'x');
        m_helper->route("GET", "/status", Reply::json(200, fits));
        const auto reply = HelperSocket::roundTrip(u"GET"_s, u"/status"_s, 5);
        QVERIFY(reply);
        QCOMPARE(reply->body.size(), fits.size());
    }

    void repliesInFlightShareOneBudget()
    {
        // 1 MiB for all: a reply of 600 KiB held on an open connection leaves
        // no room for a second one until its exchange has ended.
        HelperSocket::setReplyBudget(1024 * 1024);
        const auto restore =
            qScopeGuard([] { HelperSocket::setReplyBudget(HelperSocket::replyBudgetBytes); });
        const QByteArray body(600 * 1024, 'x');
        m_helper->route("GET", "/account/cabinet", Reply::json(200, body).keepOpen());
        m_helper->route("GET", "/status", Reply::json(200, body));
        const auto ended = std::make_shared<std::atomic<bool>>(false);
        HelperSocket::send(u"GET"_s, u"/account/cabinet"_s, 2,
                           [ended](std::optional<HelperReply>) { *ended = true; });
        QTRY_VERIFY_WITH_TIMEOUT(HelperSocket::heldReplyBytes() >= body.size(), 5000);
        QVERIFY(!HelperSocket::roundTrip(u"GET"_s, u"/status"_s, 5));

        QTRY_VERIFY_WITH_TIMEOUT(ended->load(), 6000);
        QCOMPARE(HelperSocket::heldReplyBytes(), 0);
        const auto reply = HelperSocket::roundTrip(u"GET"_s, u"/status"_s, 5);
        QVERIFY(reply);
        QCOMPARE(reply->body.size(), body.size());
    }

    void peerOfAnotherUserIsSentNothing_data()
    {
        QTest::addColumn<bool>("asNobody");
        QTest::addColumn<bool>("answered");
        QTest::newRow("this user") << false << true;
        QTest::newRow("another user") << true << false;
    }

    void peerOfAnotherUserIsSentNothing()
    {
        if (::geteuid() != 0)
            QSKIP("serving a socket as another user needs root");
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody)
            QSKIP("no user nobody");
        QFETCH(bool, asNobody);
        QFETCH(bool, answered);
        const QByteArray path = QFile::encodeName(m_home.path() + u"/foreign.sock"_s);
        ::unlink(path.constData());
        int report[2];
        QVERIFY(::pipe2(report, O_CLOEXEC) == 0);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ::close(report[0]);
            serveOnce(path, asNobody ? nobody : nullptr, report[1]);
        }
        ::close(report[1]);
        char state = 0;
        QVERIFY(readWithin(report[0], &state, sizeof state));
        if (state != 'L') {
            ::waitpid(child, nullptr, 0);
            QSKIP("cannot listen as nobody here");
        }

        const auto reply = HelperSocket::roundTripAt(path, u"GET"_s, u"/status"_s, 2);
        qint64 received = -1;
        QVERIFY(readWithin(report[0], &received, sizeof received));
        ::close(report[0]);
        ::waitpid(child, nullptr, 0);
        QCOMPARE(reply.has_value(), answered);
        QVERIFY(received >= 0); // the connection was made
        QCOMPARE(received > 0, answered);
    }

    void writingToAClosedConnectionDoesNotKillTheProcess()
    {
        // Default SIGPIPE disposition: a raised signal would end this test program.
        std::signal(SIGPIPE, SIG_DFL);
        m_helper->closeOnAccept(true);
        const QByteArray payload(16 * 1024 * 1024, 'p');
        QVERIFY(!HelperSocket::roundTrip(u"POST"_s, u"/account/bootstrap"_s, 5, payload));
    }

    void sendCallsBackOnceOnABackgroundThread()
    {
        m_helper->route("GET", "/status", Reply::json(200, "{}"));
        std::atomic<int> calls{0};
        std::atomic<QThread*> thread{nullptr};
        std::atomic<qint64> status{0};
        HelperSocket::send(u"GET"_s, u"/status"_s, 5, [&](std::optional<HelperReply> reply) {
            thread = QThread::currentThread();
            status = reply ? reply->status : -1;
            ++calls;
        });
        QTRY_COMPARE_WITH_TIMEOUT(calls.load(), 1, 5000);
        QCOMPARE(status.load(), 200);
        QVERIFY(thread.load() != QThread::currentThread());
        QVERIFY(BackgroundQueue::pool()->waitForDone(5000));
        QCOMPARE(calls.load(), 1);
    }

    void hungRequestsDoNotHoldUpANewOne()
    {
        m_helper->route("GET", "/status", Reply::stall());
        m_helper->route("POST", "/connect", Reply::json(200, "{}"));
        std::atomic<int> hung{0};
        for (int i = 0; i < 8; ++i) {
            HelperSocket::send(u"GET"_s, u"/status"_s, 5,
                               [&](std::optional<HelperReply>) { ++hung; });
        }
        QVERIFY(m_helper->waitForRequests(8));
        std::atomic<bool> answered{false};
        HelperSocket::send(u"POST"_s, u"/connect?i=0"_s, 20,
                           [&](std::optional<HelperReply> r) { answered = r.has_value(); });
        QTRY_VERIFY_WITH_TIMEOUT(answered.load(), 2000);
        QCOMPARE(hung.load(), 0);
        m_helper.reset(); // releases the stalled connections
        QTRY_COMPARE_WITH_TIMEOUT(hung.load(), 8, 5000);
    }
};

QTEST_GUILESS_MAIN(HelperSocketTest)
#include "tst_HelperSocket.moc"
