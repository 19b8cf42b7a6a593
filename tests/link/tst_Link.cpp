// The helper link: the request frame, the reply parser, the status record,
// and round trips over a real Unix socket against the scripted fake helper.
#include "FakeHelper.h"
#include "StatusJson.h"
#include "TestHome.h"
#include "link/BackgroundQueue.h"
#include "link/HelperSocket.h"
#include "link/QueryValue.h"
#include "link/Rate.h"
#include "link/Status.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <atomic>
#include <csignal>
#include <memory>

#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Reply = FakeHelper::Reply;
using Headers = HelperSocket::Headers;
Q_DECLARE_METATYPE(FakeHelper::Reply)

namespace {

// Every field away from its default where a type allows it.
// clang-format off
const Status sample{.running = true, .active = 1, .auto_ = false, .latency_ms = 42,
                    .down_bps = 48'000'000, .up_bps = 12'500'000, .peak_bps = 61'000'000,
                    .best_bps = {10, 20}, .check_wait_ms = 100, .check_total_ms = 2000,
                    .check_next_ms = 1500, .message = u"Канал перегружен"_s,
                    .channels = {u"Амстердам"_s, u"Frankfurt UDP"_s}, .helper = true,
                    .primary = true, .autoconnect = true, .protected_ = true,
                    .protection_armed = false, .verified = true};
// clang-format on

// The sample with raw JSON text under `key`, so numbers keep their written
// form (5.0, 1e2).
QByteArray withValue(const QString& key, const QByteArray& json)
{
    QJsonObject o = statusObject(sample);
    o.insert(key, u"@@"_s);
    return QJsonDocument(o).toJson(QJsonDocument::Compact).replace("\"@@\"", json);
}

} // namespace

class LinkTest : public QObject {
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

    void unsafeRequestsAreNeverSent_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("target");
        QTest::addColumn<HelperSocket::Headers>("headers");
        const QString get = u"GET"_s;
        const QString status = u"/status"_s;
        // Each kind of control character (C0, DEL, C1) and each field once at least.
        QTest::newRow("CR LF in target") << get << u"/status\r\nX-Evil: 1"_s << Headers{};
        QTest::newRow("space in target") << get << u"/export?to=/a b.zip"_s << Headers{};
        QTest::newRow("DEL in target") << get << u"/status\x7f"_s << Headers{};
        QTest::newRow("empty target") << get << u""_s << Headers{};
        QTest::newRow("C1 control in method") << u"GET\u0085"_s << status << Headers{};
        QTest::newRow("space in method") << u"GET /x"_s << status << Headers{};
        QTest::newRow("CR LF in header value")
            << get << status << Headers{{u"X-Pair-Secret"_s, u"a\r\nHost: evil"_s}};
        QTest::newRow("CR in header name") << get << status << Headers{{u"X-A\r"_s, u"v"_s}};
        QTest::newRow("colon in header name") << get << status << Headers{{u"X-A:b"_s, u"v"_s}};
        QTest::newRow("empty header name") << get << status << Headers{{QString(), u"v"_s}};
    }

    void unsafeRequestsAreNeverSent()
    {
        QFETCH(QString, method);
        QFETCH(QString, target);
        QFETCH(HelperSocket::Headers, headers);
        QVERIFY(!HelperSocket::frame(method, target, {}, headers));
        QVERIFY(!HelperSocket::roundTrip(method, target, 5, {}, headers));
        QVERIFY(m_helper->requests().isEmpty());
    }

    void replies_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("reply"); // the code, a space and the body; "-": none
        const auto row = [](const char* name, const QByteArray& bytes, const QByteArray& reply) {
            QTest::newRow(name) << bytes << reply;
        };
        row("code alone, no headers", "HTTP/1.0 200\r\n\r\n{}", "200 {}");
        row("no reason but headers: code glued to the next line",
            "HTTP/1.0 200\r\nContent-Type: application/json\r\n\r\n{}", "-");
        row("body kept byte for byte", QByteArray("HTTP/1.0 200 OK\r\n\r\n\r\n\r\n\x00\xff", 25),
            QByteArray("200 \r\n\r\n\x00\xff", 10));
        row("repeated spaces are one separator", "HTTP/1.0    503   Busy\r\n\r\nx", "503 x");
        row("plus sign", "HTTP/1.0 +204 No Content\r\n\r\n", "204 ");
        row("minus sign", "HTTP/1.0 -7 Odd\r\n\r\n", "-7 ");
        row("largest code", "HTTP/1.0 9223372036854775807 Big\r\n\r\n", "9223372036854775807 ");
        row("smallest code", "HTTP/1.0 -9223372036854775808 S\r\n\r\n", "-9223372036854775808 ");
        row("code past 64 bits", "HTTP/1.0 9223372036854775808 Big\r\n\r\n", "-");
        row("non-numeric code", "HTTP/1.0 OK 200\r\n\r\n", "-");
        row("sign alone", "HTTP/1.0 + OK\r\n\r\n", "-");
        row("one piece only", "HTTP/1.0\r\n\r\n", "-");
        row("no blank line", "HTTP/1.0 200 OK\r\n", "-");
        row("head not UTF-8", "HTTP/1.0 200 \xff\xfe\r\n\r\n{}", "-");
    }

    void replies()
    {
        QFETCH(QByteArray, bytes);
        const std::optional<HelperReply> r = HelperSocket::parseReply(bytes);
        QTEST(r ? QByteArray::number(r->status) + ' ' + r->body : "-"_ba, "reply");
    }

    void statusDecodesEveryFieldAndItsActiveChannel()
    {
        QCOMPARE(Status::fromJson(statusBody(sample)), sample);
        QCOMPARE(sample.activeChannel(), sample.channels.at(1));
        for (Status s = sample; const qint64 outside : {2, -1}) {
            s.active = outside;
            QVERIFY(!s.activeChannel());
        }
    }

    void statusBodiesThatFailWhole_data()
    {
        QTest::addColumn<QByteArray>("body");
        const QJsonObject whole = statusObject(sample);
        for (const QString& key : whole.keys()) {
            QJsonObject o = whole;
            o.remove(key);
            QTest::newRow(qPrintable(u"without "_s + key)) << QJsonDocument(o).toJson();
        }
        QTest::newRow("array") << "[" + statusBody(sample) + "]";
        QTest::newRow("truncated") << statusBody(sample).chopped(1);
    }

    void statusBodiesThatFailWhole()
    {
        QFETCH(QByteArray, body);
        QVERIFY(!Status::fromJson(body));
    }

    void statusValues_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QByteArray>("kept"); // re-encoded from the record; empty: no record
        const auto row = [](const char* name, const QString& key, const QByteArray& json,
                            const QByteArray& kept = {}) {
            QTest::newRow(name) << key << json << kept;
        };
        row("bool as 1", u"running"_s, "1");
        row("int as string", u"active"_s, "\"1\"");
        row("int 5.0", u"latency_ms"_s, "5.0", "5");
        row("int 1e2", u"down_bps"_s, "1e2", "100");
        row("int 5.5", u"latency_ms"_s, "5.5");
        row("int 2^63-1", u"peak_bps"_s, "9223372036854775807", "9223372036854775807");
        row("int 2^63", u"peak_bps"_s, "9223372036854775808");
        row("int -2^63", u"active"_s, "-9223372036854775808", "-9223372036854775808");
        row("int 1e19", u"up_bps"_s, "1e19");
        row("int -1e19", u"up_bps"_s, "-1e19");
        // 2^53 + 1 has no double of its own.
        row("ints past double precision", u"best_bps"_s, "[9007199254740993,-3]",
            "[9007199254740993,-3]");
        row("text as number", u"message"_s, "7");
        row("array as object", u"channels"_s, "{}");
        row("array of mixed", u"channels"_s, "[\"a\",1]");
        row("unknown key ignored", u"engine_version"_s, "{\"x\":[1]}", "-");
    }

    void statusValues()
    {
        QFETCH(QString, key);
        QFETCH(QByteArray, json);
        QFETCH(QByteArray, kept);
        const std::optional<Status> s = Status::fromJson(withValue(key, json));
        QCOMPARE(s.has_value(), !kept.isEmpty());
        if (s && statusObject(*s).contains(key)) {
            const QJsonArray value{statusObject(*s).value(key)};
            QCOMPARE(QJsonDocument(value).toJson(QJsonDocument::Compact), "[" + kept + "]");
        }
    }

    void rates_data()
    {
        QTest::addColumn<qint64>("bps");
        QTest::addColumn<QString>("text");
        const std::pair<qint64, QString> rows[] = {{-5'000'000, u"0"_s},  {999, u"0"_s},
                                                   {1000, u"0.00"_s},     {999'999, u"1.00"_s},
                                                   {1'000'000, u"1.0"_s}, {9'999'999, u"10.0"_s},
                                                   {10'000'000, u"10"_s}};
        for (const auto& [bps, text] : rows)
            QTest::newRow(qPrintable(QString::number(bps))) << bps << text;
    }

    void rates()
    {
        QFETCH(qint64, bps);
        QTEST(rate(bps), "text");
    }

    void requestArrivesByteForByte()
    {
        m_helper->route("POST", "/export", Reply::json(409, R"({"error":"busy"})"));
        const QByteArray payload = u"{\"name\":\"Ноутбук\"}"_s.toUtf8(); // 25 bytes, 18 letters
        const auto reply = HelperSocket::roundTrip(
            u"POST"_s, u"/export?to="_s + queryValue(u"/tmp/Мои логи+&=?#%.zip"), 5, payload,
            {{u"X-Pair-Secret"_s, u"абв"_s}, {u"X-Ovrin-Update-Session"_s, u"s1"_s}});
        QCOMPARE(reply, (HelperReply{409, R"({"error":"busy"})"})); // any code is a reply
        QCOMPARE(m_helper->requests().size(), 1);
        QCOMPARE(
            m_helper->requests().constFirst().raw,
            "POST /export?to=/tmp/%D0%9C%D0%BE%D0%B8%20%D0%BB%D0%BE%D0%B3%D0%B8%2B%26%3D%3F%23%25"
            ".zip HTTP/1.0\r\nHost: ovrin\r\nContent-Type: application/json\r\n"
            "Content-Length: 25\r\nX-Ovrin-Update-Session: s1\r\n"_ba +
                u"X-Pair-Secret: абв\r\n\r\n"_s.toUtf8() + payload);
    }

    void exchanges_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<int>("timeout");
        QTest::addColumn<bool>("answered");
        QTest::newRow("stalled past the time-out") << Reply::stall() << 1 << false;
        QTest::newRow("answered, left open") << Reply::json(200, "{}").keepOpen() << 1 << false;
        QTest::newRow("endless drip") << Reply::drip(300ms) << 1 << false;
        // Head after 1 s, body after 1 s more: within the 3 s the exchange may take.
        QTest::newRow("slow, within the time-out")
            << Reply::json(200, "{}").after(1s).bodyAfter(1s) << 3 << true;
        const qsizetype max = HelperSocket::maxReplyBytes; // head and body together
        QTest::newRow("reply of the limit") << Reply::json(200, QByteArray(max, 'x')) << 5 << false;
        QTest::newRow("just within") << Reply::json(200, QByteArray(max - 200, 'x')) << 5 << true;
    }

    void exchanges()
    {
        QFETCH(Reply, reply);
        QFETCH(int, timeout);
        m_helper->route("GET", "/status", reply);
        // On the pool, so that an exchange that never ends fails here instead of hanging.
        const auto answered = std::make_shared<std::atomic<bool>>(false);
        HelperSocket::send(u"GET"_s, u"/status"_s, timeout,
                           [answered, body = reply.body](std::optional<HelperReply> r) {
                               *answered = r && r->status == 200 && r->body == body;
                           });
        QVERIFY(BackgroundQueue::pool()->waitForDone(timeout * 1000 + 5000));
        QTEST(answered->load(), "answered");
        QCOMPARE(m_helper->count("GET", "/status"), 1);
    }

    void socketPathLimit()
    {
        // sun_path holds 108 bytes with the terminating zero here.
        QString path = m_home.path() + u"/s"_s;
        path += QString(107 - path.size() - 5, u'x') + u".sock"_s;
        QVERIFY(!HelperSocket::roundTripAt(path.toUtf8(), u"GET"_s, u"/status"_s, 5)); // no helper
        const FakeHelper other(path); // its 404 is a reply
        QVERIFY(HelperSocket::roundTripAt(path.toUtf8(), u"GET"_s, u"/status"_s, 5));
        QVERIFY(!HelperSocket::roundTripAt(QByteArray(300, 'x'), u"GET"_s, u"/status"_s, 5));
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
        QCOMPARE(HelperSocket::roundTrip(u"GET"_s, u"/status"_s, 5), (HelperReply{200, body}));
    }

    void peerOfAnotherUserIsSentNothing_data()
    {
        QTest::addColumn<bool>("asNobody");
        QTest::newRow("this user") << false;
        QTest::newRow("another user") << true;
    }

    void peerOfAnotherUserIsSentNothing()
    {
        const passwd* nobody = ::getpwnam("nobody");
        if (::geteuid() != 0 || !nobody)
            QSKIP("listening as user nobody needs root and that user");
        QFETCH(bool, asNobody);
        // A client sees the effective user of whoever called listen(); the
        // folder lets nobody make the socket.
        QTemporaryDir dir;
        QVERIFY(QFile::setPermissions(dir.path(), QFile::Permissions(0x7777)));
        const bool switched = asNobody && ::seteuid(nobody->pw_uid) == 0;
        FakeHelper foreign(dir.path() + u"/foreign.sock"_s);
        QVERIFY((!switched || ::seteuid(0) == 0) && switched == asNobody && foreign.listening());
        const QByteArray path = QFile::encodeName(foreign.socketPath());
        QCOMPARE(HelperSocket::roundTripAt(path, u"GET"_s, u"/status"_s, 5).has_value(), !asNobody);
        QCOMPARE(foreign.count("GET", "/status"), asNobody ? 0 : 1);
    }

    void writingToAClosedConnectionDoesNotKillTheProcess()
    {
        // Default SIGPIPE disposition: a raised signal would end this test program.
        std::signal(SIGPIPE, SIG_DFL);
        m_helper->closeOnAccept(true);
        const QByteArray payload(16 * 1024 * 1024, 'p');
        QVERIFY(!HelperSocket::roundTrip(u"POST"_s, u"/account/bootstrap"_s, 5, payload));
    }
};

QTEST_GUILESS_MAIN(LinkTest)
#include "tst_Link.moc"
