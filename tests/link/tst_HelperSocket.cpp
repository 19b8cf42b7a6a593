// Round trips over a real Unix socket against the scripted fake helper.
#include "FakeHelper.h"
#include "TestHome.h"
#include "link/BackgroundQueue.h"
#include "link/HelperSocket.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <atomic>
#include <csignal>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Reply = FakeHelper::Reply;
Q_DECLARE_METATYPE(FakeHelper::Reply)

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
        QTest::newRow("head without blank line") << Reply::raw("HTTP/1.0 200 OK\r\n");
        QTest::newRow("no reason, then headers")
            << Reply::raw("HTTP/1.0 200\r\nContent-Length: 2\r\n\r\n{}");
    }

    void failedExchangesGiveNoReply()
    {
        QFETCH(Reply, reply);
        m_helper->route("GET", "/status", reply);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!HelperSocket::roundTrip(u"GET"_s, u"/status"_s, 2));
        QVERIFY(clock.elapsed() < 4000);
        QCOMPARE(m_helper->count("GET", "/status"), 1);
    }

    void eachReadWaitsItsOwnTimeOut()
    {
        // Head after 3 s, body after 3 s more: 6 s in all, each read under 5 s.
        m_helper->route("GET", "/status",
                        Reply::json(200, R"({"slow":true})").after(3s).bodyAfter(3s));
        QElapsedTimer clock;
        clock.start();
        const auto reply = HelperSocket::roundTrip(u"GET"_s, u"/status"_s, 5);
        QVERIFY(reply);
        QCOMPARE(reply->body, QByteArray(R"({"slow":true})"));
        QVERIFY(clock.elapsed() >= 5900);
    }

    void replyOnAConnectionLeftOpenArrivesAfterTheTimeOut()
    {
        m_helper->route("GET", "/status", Reply::json(200, "{}").keepOpen());
        QElapsedTimer clock;
        clock.start();
        const auto reply = HelperSocket::roundTrip(u"GET"_s, u"/status"_s, 2);
        QVERIFY(reply);
        QCOMPARE(reply->status, 200);
        QCOMPARE(reply->body, QByteArray("{}"));
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
