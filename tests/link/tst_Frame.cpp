// The request frame and the reply parser, without a socket.
#include "link/HelperSocket.h"
#include "link/QueryValue.h"

#include <QTest>
#include <QUrl>

using namespace Qt::StringLiterals;

class FrameTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void emptyPayloadStillDeclaresTypeAndLength()
    {
        const auto bytes = HelperSocket::frame(u"GET"_s, u"/status"_s, {}, {});
        QVERIFY(bytes);
        QCOMPARE(*bytes, QByteArray("GET /status HTTP/1.0\r\n"
                                    "Host: ovrin\r\n"
                                    "Content-Type: application/json\r\n"
                                    "Content-Length: 0\r\n"
                                    "\r\n"));
    }

    void payloadFollowsTheBlankLineAndCountsBytes()
    {
        const QByteArray payload = u"{\"name\":\"Ноутбук\"}"_s.toUtf8();
        const auto bytes = HelperSocket::frame(u"POST"_s, u"/account/auth/verify"_s, payload, {});
        QVERIFY(bytes);
        QVERIFY(bytes->startsWith("POST /account/auth/verify HTTP/1.0\r\n"));
        const QByteArray length = "\r\nContent-Length: " + QByteArray::number(payload.size());
        QVERIFY(bytes->contains(QByteArray(length + "\r\n\r\n")));
        QVERIFY(bytes->endsWith(QByteArray("\r\n\r\n" + payload)));
        QVERIFY(payload.size() > u"{\"name\":\"Ноутбук\"}"_s.size()); // bytes, not characters
    }

    void extraHeadersComeOnceEachAfterTheLength()
    {
        const HelperSocket::Headers headers{{u"X-Pair-Secret"_s, u"s3cr3t"_s},
                                            {u"X-Ovrin-Update-Session"_s, u"abc"_s}};
        const auto bytes =
            HelperSocket::frame(u"GET"_s, u"/account/pair/status?id=7"_s, {}, headers);
        QVERIFY(bytes);
        const QByteArray head = bytes->left(bytes->indexOf("\r\n\r\n") + 2);
        const qsizetype length = head.indexOf("Content-Length: 0\r\n");
        QVERIFY(length > 0);
        for (const QByteArray& line : {QByteArray("X-Pair-Secret: s3cr3t\r\n"),
                                       QByteArray("X-Ovrin-Update-Session: abc\r\n")}) {
            QCOMPARE(head.count(line), 1);
            QVERIFY(head.indexOf(line) > length);
        }
        QCOMPARE(head.count("\r\n"), 6);
    }

    void unsafeRequestsAreNeverFramed_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("headerName");
        QTest::addColumn<QString>("headerValue");

        QTest::newRow("CR LF in target")
            << u"GET"_s << u"/status\r\nX-Evil: 1"_s << QString() << QString();
        QTest::newRow("LF in target") << u"GET"_s << u"/pair?id=1\n"_s << QString() << QString();
        QTest::newRow("space in target")
            << u"GET"_s << u"/export?to=/a b.zip"_s << QString() << QString();
        QTest::newRow("tab in target") << u"GET"_s << u"/status\t"_s << QString() << QString();
        QTest::newRow("NUL in target") << u"GET"_s << u"/status\0x"_s << QString() << QString();
        QTest::newRow("DEL in target") << u"GET"_s << u"/status\x7f"_s << QString() << QString();
        QTest::newRow("C1 control in target")
            << u"GET"_s << u"/status\u0085"_s << QString() << QString();
        QTest::newRow("empty target") << u"GET"_s << QString() << QString() << QString();
        QTest::newRow("space in method") << u"GET /x"_s << u"/status"_s << QString() << QString();
        QTest::newRow("CR LF in header value")
            << u"GET"_s << u"/status"_s << u"X-Pair-Secret"_s << u"a\r\nHost: evil"_s;
        QTest::newRow("LF in header value")
            << u"GET"_s << u"/status"_s << u"X-Pair-Secret"_s << u"a\nb"_s;
        QTest::newRow("CR in header name") << u"GET"_s << u"/status"_s << u"X-A\r"_s << u"v"_s;
        QTest::newRow("colon in header name") << u"GET"_s << u"/status"_s << u"X-A: b"_s << u"v"_s;
        QTest::newRow("empty header name") << u"GET"_s << u"/status"_s << u""_s << u"v"_s;
    }

    void unsafeRequestsAreNeverFramed()
    {
        QFETCH(QString, method);
        QFETCH(QString, target);
        QFETCH(QString, headerName);
        QFETCH(QString, headerValue);
        HelperSocket::Headers headers;
        if (!headerName.isNull())
            headers.insert(headerName, headerValue);
        QVERIFY(!HelperSocket::frame(method, target, {}, headers));
    }

    void nonAsciiTargetIsSentAsUtf8()
    {
        const auto bytes = HelperSocket::frame(u"POST"_s, u"/connect?name=Москва"_s, {}, {});
        QVERIFY(bytes);
        QVERIFY(bytes->startsWith(u"POST /connect?name=Москва HTTP/1.0\r\n"_s.toUtf8()));
    }

    void queryValues_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("encoded");
        QTest::newRow("plain path") << u"/home/me/logs.zip"_s << u"/home/me/logs.zip"_s;
        QTest::newRow("space and Cyrillic")
            << u"/home/я/Мои логи.zip"_s
            << u"/home/%D1%8F/%D0%9C%D0%BE%D0%B8%20%D0%BB%D0%BE%D0%B3%D0%B8.zip"_s;
        QTest::newRow("plus is not a space") << u"/tmp/a+b.zip"_s << u"/tmp/a%2Bb.zip"_s;
        QTest::newRow("query syntax") << u"/tmp/a&b=c?d#e%f"_s << u"/tmp/a%26b%3Dc%3Fd%23e%25f"_s;
        QTest::newRow("control characters") << u"/tmp/a\r\nb\tc"_s << u"/tmp/a%0D%0Ab%09c"_s;
    }

    void queryValues()
    {
        QFETCH(QString, value);
        QFETCH(QString, encoded);
        QCOMPARE(queryValue(value), encoded);
        QCOMPARE(QUrl::fromPercentEncoding(encoded.toLatin1()), value);
        QVERIFY(HelperSocket::frame(u"POST"_s, u"/export?to="_s + queryValue(value), {}, {}));
    }

    void replies_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("parsed");
        QTest::addColumn<qint64>("status");
        QTest::addColumn<QByteArray>("body");

        QTest::newRow("204, reason, empty body")
            << QByteArray("HTTP/1.0 204 No Content\r\n\r\n") << true << qint64(204) << QByteArray();
        QTest::newRow("code alone, no headers")
            << QByteArray("HTTP/1.0 200\r\n\r\n{}") << true << qint64(200) << QByteArray("{}");
        QTest::newRow("no reason but headers: code glued to the next line")
            << QByteArray("HTTP/1.0 200\r\nContent-Type: application/json\r\n\r\n{}") << false
            << qint64(0) << QByteArray();
        QTest::newRow("500 with empty body")
            << QByteArray("HTTP/1.0 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n") << true
            << qint64(500) << QByteArray();
        QTest::newRow("body kept byte for byte")
            << QByteArray("HTTP/1.0 200 OK\r\n\r\n\r\n\r\n\x00\xff", 25) << true << qint64(200)
            << QByteArray("\r\n\r\n\x00\xff", 6);
        QTest::newRow("repeated spaces are one separator")
            << QByteArray("HTTP/1.0    503   Busy\r\n\r\nx") << true << qint64(503)
            << QByteArray("x");
        QTest::newRow("plus sign")
            << QByteArray("HTTP/1.0 +200 OK\r\n\r\n") << true << qint64(200) << QByteArray();
        QTest::newRow("minus sign")
            << QByteArray("HTTP/1.0 -7 Odd\r\n\r\n") << true << qint64(-7) << QByteArray();
        QTest::newRow("largest code") << QByteArray("HTTP/1.0 9223372036854775807 Big\r\n\r\n")
                                      << true << qint64(9223372036854775807LL) << QByteArray();
        QTest::newRow("smallest code")
            << QByteArray("HTTP/1.0 -9223372036854775808 Small\r\n\r\n") << true
            << std::numeric_limits<qint64>::min() << QByteArray();
        QTest::newRow("code past 64 bits") << QByteArray("HTTP/1.0 9223372036854775808 Big\r\n\r\n")
                                           << false << qint64(0) << QByteArray();
        QTest::newRow("non-numeric code")
            << QByteArray("HTTP/1.0 OK 200\r\n\r\n") << false << qint64(0) << QByteArray();
        QTest::newRow("sign alone")
            << QByteArray("HTTP/1.0 + OK\r\n\r\n") << false << qint64(0) << QByteArray();
        QTest::newRow("two signs")
            << QByteArray("HTTP/1.0 +-2 OK\r\n\r\n") << false << qint64(0) << QByteArray();
        QTest::newRow("hex code") << QByteArray("HTTP/1.0 0xC8 OK\r\n\r\n") << false << qint64(0)
                                  << QByteArray();
        QTest::newRow("one piece only")
            << QByteArray("HTTP/1.0\r\n\r\n") << false << qint64(0) << QByteArray();
        QTest::newRow("no blank line")
            << QByteArray("HTTP/1.0 200 OK\r\n") << false << qint64(0) << QByteArray();
        QTest::newRow("nothing") << QByteArray() << false << qint64(0) << QByteArray();
        QTest::newRow("head not UTF-8")
            << QByteArray("HTTP/1.0 200 \xff\xfe\r\n\r\n{}") << false << qint64(0) << QByteArray();
        QTest::newRow("Cyrillic reason") << u"HTTP/1.0 400 Плохо\r\n\r\n{}"_s.toUtf8() << true
                                         << qint64(400) << QByteArray("{}");
    }

    void replies()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, parsed);
        const std::optional<HelperReply> reply = HelperSocket::parseReply(bytes);
        QCOMPARE(reply.has_value(), parsed);
        if (parsed) {
            QTEST(reply->status, "status");
            QTEST(reply->body, "body");
        }
    }
};

QTEST_GUILESS_MAIN(FrameTest)
#include "tst_Frame.moc"
