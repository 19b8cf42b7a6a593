// Pairing between two built helpers on two HOMEs that share one center, by QR link and by
// code; expiries by moving the center clock (the center folder's "clock-offset" file) while
// they run; the states the scenario file forces.
#include "HelperFleet.h"
#include "cabinet/CabinetData.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

class HelperPairingTest : public QObject {
    Q_OBJECT

    HelperFleet m_fleet;

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_fleet.valid());
        m_fleet.reset();
    }

    void cleanup()
    {
        const QStringList faults = m_fleet.finish();
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
    }

    void pairByQr()
    {
        QVERIFY(m_fleet.start(u"old"_s) && m_fleet.import(u"old"_s));
        QVERIFY(m_fleet.start(u"new"_s));
        QCOMPARE(m_fleet
                     .call(u"new"_s, "POST", u"/account/pair/requests"_s,
                           HelperFleet::device(u"Новый Mac"_s))
                     .status,
                 409); // needs the server list
        QVERIFY(m_fleet.import(u"new"_s));
        QCOMPARE(m_fleet.requestAndVerify(u"old"_s, u"pair@example.ru"_s).status, 200);

        const QJsonObject request = m_fleet.openRequest(u"new"_s);
        for (const char* key : {"id", "secret", "qr_token"})
            QVERIFY2(request[QLatin1String(key)].isString(), key);
        Answer poll = m_fleet.pollRequest(u"new"_s, request);
        QCOMPARE(poll.text(u"status"_s), u"pending"_s);
        QVERIFY(poll.json[u"expires_in"_s].toInt() > 300);

        const QJsonObject link = {{u"id"_s, request[u"id"_s]},
                                  {u"qr_token"_s, request[u"qr_token"_s]}};
        const Answer inspected = m_fleet.call(u"old"_s, "POST", u"/account/pair/inspect"_s, link);
        QCOMPARE(inspected.status, 200);
        QCOMPARE(inspected.text(u"name"_s), u"Новый Mac"_s);
        QCOMPARE(inspected.text(u"platform"_s), u"macOS"_s);
        QCOMPARE(m_fleet.call(u"old"_s, "POST", u"/account/pair/approve"_s, link).status, 200);

        poll = m_fleet.pollRequest(u"new"_s, request);
        QCOMPARE(poll.text(u"status"_s), u"approved"_s);
        QVERIFY(poll.json[u"expires_in"_s].isDouble());
        QCOMPARE(poll.json[u"profile_pending"_s], QJsonValue(false));
        const AccountStatus paired = m_fleet.account(u"new"_s);
        QVERIFY(paired.signed_in && paired.active);
        QVERIFY(paired.device_id != m_fleet.account(u"old"_s).device_id);
        const auto cabinet =
            CabinetData::fromJson(m_fleet.call(u"old"_s, "GET", u"/account/cabinet"_s).body);
        QVERIFY(cabinet);
        QCOMPARE(cabinet->devices.size(), 2);
        QCOMPARE(m_fleet.call(u"old"_s, "POST", u"/account/pair/approve"_s, link).status, 409);
    }

    void pairByCode()
    {
        QVERIFY(m_fleet.start(u"old"_s) && m_fleet.import(u"old"_s));
        QVERIFY(m_fleet.start(u"new"_s) && m_fleet.import(u"new"_s));
        QCOMPARE(m_fleet.requestAndVerify(u"old"_s, u"code@example.ru"_s).status, 200);

        const Answer code = m_fleet.call(u"old"_s, "POST", u"/account/pair/codes"_s);
        QCOMPARE(code.status, 200);
        QVERIFY(QRegularExpression(u"^[A-Z0-9]{6}$"_s).match(code.text(u"code"_s)).hasMatch());
        const QString codeStatus = u"/account/pair/code-status?id="_s + code.text(u"id"_s);
        QCOMPARE(m_fleet.call(u"old"_s, "GET", codeStatus).text(u"status"_s), u"open"_s);

        const QJsonObject request = m_fleet.openRequest(u"new"_s);
        QJsonObject claim = {{u"id"_s, request[u"id"_s]},
                             {u"secret"_s, request[u"secret"_s]},
                             {u"code"_s, u"ZZZZZZ"_s}};
        QCOMPARE(m_fleet.call(u"new"_s, "POST", u"/account/pair/claim"_s, claim).error(),
                 u"invalid_code"_s);
        claim[u"code"_s] = code.text(u"code"_s).toLower(); // typed in lower case
        QCOMPARE(m_fleet.call(u"new"_s, "POST", u"/account/pair/claim"_s, claim).status, 200);

        const Answer claimed = m_fleet.call(u"old"_s, "GET", codeStatus);
        QCOMPARE(claimed.text(u"status"_s), u"claimed"_s);
        QCOMPARE(claimed.text(u"request_id"_s), request[u"id"_s].toString());
        QCOMPARE(claimed.text(u"name"_s), u"Новый Mac"_s);
        QCOMPARE(claimed.text(u"platform"_s), u"macOS"_s);
        QCOMPARE(m_fleet.pollRequest(u"new"_s, request).text(u"status"_s), u"pending"_s);

        QCOMPARE(m_fleet
                     .call(u"old"_s, "POST", u"/account/pair/code-approve"_s,
                           {{u"id"_s, code.text(u"id"_s)}, {u"request_id"_s, request[u"id"_s]}})
                     .status,
                 200);
        QCOMPARE(m_fleet.pollRequest(u"new"_s, request).text(u"status"_s), u"approved"_s);
        QVERIFY(m_fleet.account(u"new"_s).signed_in);
    }

    void aFullAccountRefusesApproval()
    {
        QVERIFY(m_fleet.start(u"old"_s) && m_fleet.import(u"old"_s));
        QVERIFY(m_fleet.start(u"new"_s) && m_fleet.import(u"new"_s));
        const Answer full = m_fleet.requestAndVerify(u"old"_s, u"full@ovrin.test"_s);
        const QString replaced = full.json[u"devices"_s][0][u"id"_s].toString();
        QCOMPARE(m_fleet
                     .requestAndVerify(u"old"_s, u"full@ovrin.test"_s,
                                       {{u"replace_device_id"_s, replaced}})
                     .status,
                 200);
        const QJsonObject request = m_fleet.openRequest(u"new"_s);
        const Answer approve =
            m_fleet.call(u"old"_s, "POST", u"/account/pair/approve"_s,
                         {{u"id"_s, request[u"id"_s]}, {u"qr_token"_s, request[u"qr_token"_s]}});
        QCOMPARE(approve.status, 409);
        QCOMPARE(approve.error(), u"device_limit"_s);
        QCOMPARE(approve.json[u"devices"_s].toArray().size(), 3);
        QCOMPARE(m_fleet.pollRequest(u"new"_s, request).text(u"status"_s), u"pending"_s);
    }

    void expiriesByMovingTheClock_data()
    {
        QTest::addColumn<QByteArray>("what");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        QTest::newRow("sign-in code") << QByteArray("code") << 900 << 400 << u"invalid_code"_s;
        QTest::newRow("QR link") << QByteArray("qr") << 60 << 410 << u"expired"_s;
        QTest::newRow("pairing request") << QByteArray("request") << 360 << 404 << u"not_found"_s;
        QTest::newRow("pairing code") << QByteArray("pair-code") << 300 << 410 << u"expired"_s;
    }

    void expiriesByMovingTheClock()
    {
        QFETCH(QByteArray, what);
        QFETCH(int, seconds);
        QFETCH(int, status);
        QFETCH(QString, error);
        QVERIFY(m_fleet.start(u"old"_s) && m_fleet.import(u"old"_s));
        QVERIFY(m_fleet.start(u"new"_s) && m_fleet.import(u"new"_s));
        QCOMPARE(m_fleet.requestAndVerify(u"old"_s, u"clock@example.ru"_s).status, 200);
        QCOMPARE(m_fleet
                     .call(u"new"_s, "POST", u"/account/auth/request"_s,
                           {{u"email"_s, u"late@example.ru"_s}})
                     .status,
                 200);
        const Letter sent = m_fleet.letter(u"late@example.ru"_s);
        const QJsonObject request = m_fleet.openRequest(u"new"_s);
        const QJsonObject link = {{u"id"_s, request[u"id"_s]},
                                  {u"qr_token"_s, request[u"qr_token"_s]}};
        const QString codeId =
            m_fleet.call(u"old"_s, "POST", u"/account/pair/codes"_s).text(u"id"_s);

        // Still valid a little before the end, refused once it has passed.
        m_fleet.moveClock(seconds - 5);
        auto attempt = [&]() -> Answer {
            if (what == "code") {
                QJsonObject body = HelperFleet::device(u"Mac"_s);
                body[u"challenge_id"_s] = sent.challenge;
                body[u"code"_s] = sent.code;
                return m_fleet.call(u"new"_s, "POST", u"/account/auth/verify"_s, body);
            }
            if (what == "qr")
                return m_fleet.call(u"old"_s, "POST", u"/account/pair/inspect"_s, link);
            if (what == "request")
                return m_fleet.pollRequest(u"new"_s, request);
            return m_fleet.call(u"old"_s, "GET", u"/account/pair/code-status?id="_s + codeId);
        };
        if (what != "code") // a successful sign-in would use the challenge up
            QCOMPARE(attempt().status, 200);
        m_fleet.moveClock(5);
        const Answer late = attempt();
        QCOMPARE(late.status, status);
        QCOMPARE(late.error(), error);
    }

    void scenarioForcedStates()
    {
        QVERIFY(m_fleet.start(u"old"_s) && m_fleet.import(u"old"_s));
        QCOMPARE(m_fleet.requestAndVerify(u"old"_s, u"keys@example.ru"_s).status, 200);
        const QString device = m_fleet.account(u"old"_s).device_id;
        QVERIFY(m_fleet.stop(u"old"_s));

        QVERIFY(m_fleet.start(u"old"_s, R"({"keychain_error":true})"));
        AccountStatus status = m_fleet.account(u"old"_s);
        QVERIFY(status.keychain_error && !status.signed_in && !status.error.isEmpty());
        QCOMPARE(m_fleet.call(u"old"_s, "POST", u"/account/keychain/retry"_s).status, 200);
        status = m_fleet.account(u"old"_s);
        QVERIFY(!status.keychain_error && status.signed_in && status.error.isEmpty());
        QCOMPARE(status.device_id, device);

        QVERIFY(m_fleet.start(u"new"_s, R"({"pending_credentials":true,"mail_unavailable":true})"));
        QVERIFY(m_fleet.import(u"new"_s));
        const Answer mail = m_fleet.call(u"new"_s, "POST", u"/account/auth/request"_s,
                                         {{u"email"_s, u"keys@example.ru"_s}});
        QCOMPARE(mail.status, 503);
        QCOMPARE(mail.error(), u"mail_unavailable"_s);
        QVERIFY(m_fleet.account(u"new"_s).pending_credentials);
        const QJsonObject request = m_fleet.openRequest(u"new"_s);
        QCOMPARE(m_fleet
                     .call(u"old"_s, "POST", u"/account/pair/approve"_s,
                           {{u"id"_s, request[u"id"_s]}, {u"qr_token"_s, request[u"qr_token"_s]}})
                     .status,
                 200);
        const Answer poll = m_fleet.pollRequest(u"new"_s, request);
        QCOMPARE(poll.text(u"status"_s), u"approved"_s);
        QCOMPARE(poll.json[u"profile_pending"_s], QJsonValue(true));
        status = m_fleet.account(u"new"_s);
        QVERIFY(status.signed_in && status.pending_credentials);
        QCOMPARE(m_fleet.call(u"new"_s, "POST", u"/account/refresh"_s).status, 200);
        QVERIFY(!m_fleet.account(u"new"_s).pending_credentials);
    }
};

QTEST_GUILESS_MAIN(HelperPairingTest)
#include "tst_HelperPairing.moc"
