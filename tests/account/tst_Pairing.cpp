// Device pairing against the fake helper, with a clock the test moves.
#include "CoreRig.h"
#include "StatusJson.h"
#include "account/OvrinLink.h"
#include "account/Pairing.h"
#include "account/PairingApproval.h"
#include "account/PairingRequest.h"
#include "core/Core.h"
#include "platform/DeviceIdentity.h"

#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;
using Reply = FakeHelper::Reply;
using ms = FakeHelper::ms;

namespace {

constexpr int wait = 5000;

QByteArray accountBody(bool signedIn, bool pending)
{
    AccountStatus account;
    account.bootstrap = true;
    account.signed_in = signedIn;
    account.pending_credentials = pending;
    return ::accountBody(account);
}

QByteArray json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject bodyOf(const FakeHelper::Request& request)
{
    return QJsonDocument::fromJson(request.body).object();
}

const QByteArray opened = R"({"id":"p1","secret":"s1","qr_token":"t1"})";

} // namespace

class PairingTest : public QObject {
    Q_OBJECT

    CoreRig m_rig;
    std::unique_ptr<Pairing> m_pairing;

    void makePairing(Dialogs& dialogs)
    {
        m_pairing = std::make_unique<Pairing>(*m_rig.core, dialogs);
    }
    PairingRequest& request() { return m_pairing->request(); }
    PairingApproval& approval() { return m_pairing->approval(); }
    void seconds(qint64 s) { m_rig.clock.advance(s * 1000); }
    int polls() const { return m_rig.helper->count("GET", "/account/pair/status"); }
    int codePolls() const { return m_rig.helper->count("GET", "/account/pair/code-status"); }

    // An open pairing request "p1"/"s1".
    bool openRequest()
    {
        m_rig.helper->route("POST", "/account/pair/requests", Reply::json(200, opened));
        request().createPair();
        return QTest::qWaitFor([&] { return !request().pairID().isEmpty(); }, wait);
    }
    // An open code "c1" / "123456".
    bool openCode()
    {
        m_rig.helper->route("POST", "/account/pair/codes",
                            Reply::json(200, R"({"id":"c1","code":"123456"})"));
        approval().createCode();
        return QTest::qWaitFor([&] { return !approval().codeID().isEmpty(); }, wait);
    }
    // One tick whose pair poll has completed.
    bool pollOnce()
    {
        const int before = polls();
        m_pairing->tick();
        if (!request().polling())
            return false;
        return QTest::qWaitFor([&] { return !request().polling() && polls() == before + 1; }, wait);
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_rig.start());
        m_rig.helper->route("GET", "/account/status", Reply::json(200, accountBody(false, false)));
        makePairing(m_rig.dialogs);
    }
    void cleanup()
    {
        m_pairing.reset();
        m_rig.stop();
    }

    void openingARequest()
    {
        QVERIFY(request().pairLink().isEmpty());
        QVERIFY(!request().qrShown());
        QVERIFY(request().pairQr().isNull());

        QVERIFY(openRequest());
        QVERIFY(!m_pairing->waiting());
        m_rig.helper->route("GET", "/account/pair/status",
                            Reply::json(200, R"({"status":"pending"})"));
        const auto sent = m_rig.helper->requests("POST", "/account/pair/requests");
        QCOMPARE(sent.size(), 1);
        QCOMPARE(bodyOf(sent[0]), (QJsonObject{{u"name"_s, m_rig.core->device().name()},
                                               {u"platform"_s, u"macOS"_s}}));
        QCOMPARE(request().pairSecret(), u"s1"_s);
        QCOMPARE(request().pairLink(), u"ovrin://pair?id=p1&token=t1"_s);
        QCOMPARE(m_pairing->message(), u"QR действует одну минуту."_s);
        QVERIFY(request().qrShown());
        QVERIFY(!request().pairQr().isNull());

        // The QR goes after a minute; the request is still polled.
        seconds(59);
        QVERIFY(request().qrShown());
        seconds(1);
        QVERIFY(!request().qrShown());
        QVERIFY(pollOnce());
        const auto poll = m_rig.helper->requests("GET", "/account/pair/status").constLast();
        QCOMPARE(poll.target, QByteArray("/account/pair/status?id=p1"));
        QCOMPARE(poll.header("X-Pair-Secret"), QByteArray("s1"));

        // ... until six minutes have passed.
        seconds(299);
        QVERIFY(pollOnce());
        seconds(1);
        m_pairing->tick();
        QVERIFY(!request().polling());
    }

    void openingFails_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QString>("message");
        QTest::newRow("no qr_token")
            << Reply::json(200, R"({"id":"p1","secret":"s1"})") << u"Не удалось создать QR."_s;
        QTest::newRow("numeric id") << Reply::json(200, R"({"id":1,"secret":"s1","qr_token":"t"})")
                                    << u"Не удалось создать QR."_s;
        QTest::newRow("error with the fields")
            << Reply::json(429,
                           R"({"error":"слишком часто","id":"p9","secret":"s","qr_token":"t"})")
            << u"слишком часто"_s;
    }

    void openingFails()
    {
        QFETCH(Reply, reply);
        QFETCH(QString, message);
        QVERIFY(openRequest());
        m_rig.helper->route("POST", "/account/pair/requests", reply);
        request().createPair();
        QVERIFY(m_pairing->waiting());
        QTRY_VERIFY_WITH_TIMEOUT(!m_pairing->waiting(), wait);
        QCOMPARE(m_pairing->message(), message);
        // The request already open stays.
        QCOMPARE(request().pairID(), u"p1"_s);
        QCOMPARE(request().pairLink(), u"ovrin://pair?id=p1&token=t1"_s);
    }

    void noPollForASignedInAccount_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<bool>("pending");
        QTest::newRow("signed in") << true << false;
        QTest::newRow("pending credentials") << false << true;
    }

    void noPollForASignedInAccount()
    {
        QFETCH(bool, signedIn);
        QFETCH(bool, pending);
        QVERIFY(openRequest());
        m_rig.helper->route("GET", "/account/status",
                            Reply::json(200, accountBody(signedIn, pending)));
        m_rig.core->refreshAccount();
        QTRY_VERIFY_WITH_TIMEOUT(m_rig.core->account().signed_in == signedIn &&
                                     m_rig.core->account().pending_credentials == pending,
                                 wait);
        m_pairing->tick();
        QVERIFY(!request().polling());
        QCOMPARE(polls(), 0);

        m_rig.helper->route("GET", "/account/status", Reply::json(200, accountBody(false, false)));
        m_rig.core->refreshAccount();
        QTRY_VERIFY_WITH_TIMEOUT(
            !m_rig.core->account().signed_in && !m_rig.core->account().pending_credentials, wait);
        QVERIFY(pollOnce());
    }

    void onePollAtATime()
    {
        QVERIFY(openRequest());
        m_rig.helper->route("GET", "/account/pair/status",
                            Reply::json(200, R"({"status":"pending"})").after(ms(300)));
        m_pairing->tick();
        m_pairing->tick();
        QTRY_COMPARE_WITH_TIMEOUT(polls(), 1, wait);
        QTRY_VERIFY_WITH_TIMEOUT(!request().polling(), wait);
        QCOMPARE(polls(), 1);
    }

    void approvedMovesThePollWindow()
    {
        QVERIFY(openRequest());
        m_rig.helper->route("GET", "/account/pair/status",
                            Reply::json(200, R"({"status":"approved","expires_in":30,
                                             "profile_pending":true})"));
        QVERIFY(pollOnce());
        QCOMPARE(m_pairing->message(), u"Вход сохранён. Повторите обновление профиля."_s);
        QCOMPARE(request().pairID(), u"p1"_s);
        QCOMPARE(request().pairDeliveryDeadline(), m_rig.clock.monotonicMs() + 30'000);

        // Within the 30 s it keeps polling; after them it stops, long before
        // the six minutes.
        m_rig.helper->route("GET", "/account/pair/status",
                            Reply::json(200, R"({"status":"pending"})"));
        seconds(29);
        QVERIFY(pollOnce());
        seconds(1);
        m_pairing->tick();
        QVERIFY(!request().polling());
    }

    void aReplacedRequestIsLeftAlone()
    {
        QVERIFY(openRequest());
        m_rig.helper->route("GET", "/account/pair/status",
                            Reply::json(404, R"({"error":"not_found"})").after(ms(300)));
        m_pairing->tick();
        QVERIFY(request().polling());
        m_rig.helper->route("POST", "/account/pair/requests",
                            Reply::json(200, R"({"id":"p2","secret":"s2","qr_token":"t2"})"));
        request().createPair();
        QTRY_COMPARE_WITH_TIMEOUT(request().pairID(), u"p2"_s, wait);
        QTRY_VERIFY_WITH_TIMEOUT(!request().polling(), wait);
        QCOMPARE(m_pairing->message(), u"QR действует одну минуту."_s);
        m_rig.helper->route("GET", "/account/pair/status",
                            Reply::json(200, R"({"status":"pending"})"));
        QVERIFY(pollOnce());
        QCOMPARE(m_rig.helper->requests("GET", "/account/pair/status").constLast().target,
                 QByteArray("/account/pair/status?id=p2"));
    }

    void approvedWithoutPendingProfileEnds()
    {
        QVERIFY(openRequest());
        m_pairing->setMessage(u"старое"_s);
        m_rig.helper->route("GET", "/account/pair/status",
                            Reply::json(200, R"({"status":"approved","profile_pending":false})"));
        QVERIFY(pollOnce());
        QCOMPARE(m_pairing->message(), u"Устройство добавлено."_s);
        QVERIFY(request().pairID().isEmpty());
        QVERIFY(request().pairSecret().isEmpty());
        QVERIFY(request().pairLink().isEmpty());
        QVERIFY(!request().qrShown());
        m_pairing->tick();
        QVERIFY(!request().polling());
    }

    void otherPollReplies_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QString>("message"); // null: unchanged
        QTest::addColumn<bool>("pollsAgain");

        QTest::newRow("200 pending")
            << Reply::json(200, R"({"status":"pending"})") << QString() << true;
        QTest::newRow("200 approved in another case")
            << Reply::json(200, R"({"status":"Approved","expires_in":1})") << QString() << true;
        QTest::newRow("200 without an object") << Reply::json(200, "[]") << QString() << true;
        QTest::newRow("error") << Reply::json(410, R"({"error":"expired"})") << u"expired"_s
                               << true;
        QTest::newRow("not_found inside the error")
            << Reply::json(404, R"({"error":"pair request not_found: p1"})")
            << u"pair request not_found: p1"_s << false;
        QTest::newRow("failure saying approved")
            << Reply::json(500, R"({"error":"сбой","status":"approved","expires_in":1})")
            << u"сбой"_s << true;
        QTest::newRow("not_found beside a status")
            << Reply::json(404, R"({"error":"not_found","status":"pending"})") << u"not_found"_s
            << false;
    }

    void otherPollReplies()
    {
        QFETCH(Reply, reply);
        QFETCH(QString, message);
        QFETCH(bool, pollsAgain);
        QVERIFY(openRequest());
        const qint64 deadline = request().pairDeliveryDeadline();
        m_rig.helper->route("GET", "/account/pair/status", reply);
        QVERIFY(pollOnce());
        QCOMPARE(m_pairing->message(), message.isNull() ? u"QR действует одну минуту."_s : message);
        QCOMPARE(request().pairID(), u"p1"_s);
        QCOMPARE(request().pairLink(), u"ovrin://pair?id=p1&token=t1"_s);
        if (pollsAgain) {
            QCOMPARE(request().pairDeliveryDeadline(), deadline);
            QVERIFY(pollOnce());
        } else {
            m_pairing->tick();
            QVERIFY(!request().polling());
        }
    }

    // Values from the center never add a header line: the id is
    // percent-encoded into the target, and a secret holding CR or LF is
    // refused before anything is written.
    void centerValuesStayInTheirPlace_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("secret");
        QTest::addColumn<bool>("arrives");
        QTest::newRow("id with CR LF") << u"p1\r\nX-Injected: 1"_s << u"s1"_s << true;
        QTest::newRow("id with a space") << u"p1 HTTP/1.0"_s << u"s1"_s << true;
        QTest::newRow("secret with CR LF") << u"p1"_s << u"s1\r\nX-Injected: 1"_s << false;
        QTest::newRow("secret with LF") << u"p1"_s << u"s1\nX-Injected: 1"_s << false;
    }

    void centerValuesStayInTheirPlace()
    {
        QFETCH(QString, id);
        QFETCH(QString, secret);
        QFETCH(bool, arrives);
        m_rig.helper->route(
            "POST", "/account/pair/requests",
            Reply::json(200,
                        json({{u"id"_s, id}, {u"secret"_s, secret}, {u"qr_token"_s, u"t"_s}})));
        request().createPair();
        QTRY_COMPARE_WITH_TIMEOUT(request().pairID(), id, wait);
        m_rig.helper->route("GET", "/account/pair/status",
                            Reply::json(200, R"({"status":"pending"})"));

        m_pairing->tick();
        QVERIFY(request().polling());
        QTRY_VERIFY_WITH_TIMEOUT(!request().polling(), wait);
        QTRY_VERIFY_WITH_TIMEOUT(m_rig.helper->count("GET", "/account/status") >= 2, wait);
        for (const auto& request : m_rig.helper->requests()) {
            QVERIFY(request.header("X-Injected").isEmpty());
            QVERIFY(!request.raw.contains("X-Injected: 1"));
        }
        QCOMPARE(polls(), arrives ? 1 : 0);
        if (arrives) {
            const auto poll = m_rig.helper->requests("GET", "/account/pair/status").constFirst();
            QCOMPARE(QUrl::fromPercentEncoding(poll.target), u"/account/pair/status?id="_s + id);
            QCOMPARE(poll.header("X-Pair-Secret"), secret.toUtf8());
        } else {
            QCOMPARE(m_pairing->message(), u"Помощник не ответил."_s);
        }
    }

    void claimingACode()
    {
        QVERIFY(openRequest());
        m_pairing->setPairingCode(u"654321"_s);
        m_rig.helper->route("POST", "/account/pair/claim", Reply::json(200, "{}"));
        request().claimCode();
        QVERIFY(m_pairing->waiting());
        QTRY_VERIFY_WITH_TIMEOUT(!m_pairing->waiting(), wait);
        QCOMPARE(m_pairing->message(), u"Подтвердите добавление на старом устройстве."_s);
        const auto claim = m_rig.helper->requests("POST", "/account/pair/claim").constFirst();
        QCOMPARE(
            bodyOf(claim),
            (QJsonObject{{u"id"_s, u"p1"_s}, {u"secret"_s, u"s1"_s}, {u"code"_s, u"654321"_s}}));

        m_rig.helper->route("POST", "/account/pair/claim",
                            Reply::json(403, R"({"error":"bad code"})"));
        request().claimCode();
        QTRY_COMPARE_WITH_TIMEOUT(m_pairing->message(), u"bad code"_s, wait);
    }

    void refusedLinksSendNothing_data()
    {
        QTest::addColumn<QString>("link");
        QTest::newRow("another scheme") << u"https://pair?id=p1&token=t1"_s;
        QTest::newRow("another host") << u"ovrin://auth?id=p1&token=t1"_s;
        QTest::newRow("no token") << u"ovrin://pair?id=p1"_s;
        QTest::newRow("empty") << QString();
    }

    void refusedLinksSendNothing()
    {
        QFETCH(QString, link);
        approval().setApprovalLink(link);
        approval().approvePair();
        QCOMPARE(m_pairing->message(), u"Не удалось прочитать ссылку из QR."_s);
        QVERIFY(!m_pairing->waiting());
        QCOMPARE(approval().approvalLink(), link);
        QCOMPARE(m_rig.helper->count("POST", "/account/pair/inspect"), 0);
    }

    void approvingALink_data()
    {
        QTest::addColumn<QByteArray>("inspected");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("approves");

        const QString warning = u". Подтверждайте только QR с экрана устройства рядом с вами."_s;
        QTest::newRow("named, added") << QByteArray(R"({"name":"Ноутбук","platform":"Linux"})") << 0
                                      << u"Ноутбук · Linux"_s + warning << true;
        QTest::newRow("no name") << QByteArray(R"({"platform":"Linux"})") << 0
                                 << u"Новое устройство · Linux"_s + warning << true;
        QTest::newRow("nothing known, cancelled")
            << QByteArray("{}") << 1 << u"Новое устройство · "_s + warning << false;
    }

    void approvingALink()
    {
        QFETCH(QByteArray, inspected);
        QFETCH(int, answer);
        QFETCH(QString, text);
        QFETCH(bool, approves);
        const QString link = OvrinLink::composePair(u"id&1"_s, u"tok+en"_s);
        m_rig.helper->route("POST", "/account/pair/inspect", Reply::json(200, inspected));
        m_rig.helper->route("POST", "/account/pair/approve", Reply::json(200, "{}"));
        m_rig.dialogs.alertAnswers = {answer};
        approval().setApprovalLink(link);
        m_pairing->setMessage(u"прежнее"_s);
        approval().approvePair();
        QVERIFY(m_pairing->waiting());
        QTRY_COMPARE_WITH_TIMEOUT(m_rig.dialogs.alerts.size(), 1, wait);
        QCOMPARE(m_rig.dialogs.alerts[0].message, u"Добавить устройство?"_s);
        QCOMPARE(m_rig.dialogs.alerts[0].informative, text);
        QCOMPARE(m_rig.dialogs.alerts[0].buttons, (QStringList{u"Добавить"_s, u"Отмена"_s}));

        const QJsonObject ids{{u"id"_s, u"id&1"_s}, {u"qr_token"_s, u"tok+en"_s}};
        QCOMPARE(bodyOf(m_rig.helper->requests("POST", "/account/pair/inspect").constFirst()), ids);
        if (approves) {
            QTRY_COMPARE_WITH_TIMEOUT(m_pairing->message(), u"Устройство подтверждено."_s, wait);
            QCOMPARE(bodyOf(m_rig.helper->requests("POST", "/account/pair/approve").constFirst()),
                     ids);
        } else {
            QVERIFY(!m_pairing->waiting());
            QCOMPARE(m_pairing->message(), u"прежнее"_s);
        }
        QVERIFY(!m_pairing->waiting());
        QCOMPARE(approval().approvalLink(), link);
        QCOMPARE(m_rig.helper->count("POST", "/account/pair/approve"), approves ? 1 : 0);
    }

    // Whatever came back with a failure, an unchecked device is never offered.
    void failedInspectAsksNothing_data()
    {
        QTest::addColumn<std::optional<Reply>>("reply");
        QTest::addColumn<QString>("message");
        QTest::newRow("failure with an object")
            << std::optional(Reply::json(403, R"({"error":"чужая заявка","name":"X"})"))
            << u"чужая заявка"_s;
        QTest::newRow("failure without an error text")
            << std::optional(Reply::json(500, R"({"name":"X","platform":"Y"})"))
            << u"Запрос не выполнен."_s;
        QTest::newRow("200 without an object")
            << std::optional(Reply::json(200, "")) << u"Не удалось проверить заявку."_s;
        QTest::newRow("no helper") << std::optional<Reply>() << u"Помощник не ответил."_s;
    }

    void failedInspectAsksNothing()
    {
        QFETCH(std::optional<Reply>, reply);
        QFETCH(QString, message);
        if (reply)
            m_rig.helper->route("POST", "/account/pair/inspect", *reply);
        else
            m_rig.helper.reset();
        approval().setApprovalLink(u"ovrin://pair?id=p1&token=t1"_s);
        approval().approvePair();
        QTRY_VERIFY_WITH_TIMEOUT(!m_pairing->waiting(), wait);
        QCOMPARE(m_pairing->message(), message);
        QVERIFY(m_rig.dialogs.alerts.isEmpty());
        if (m_rig.helper)
            QCOMPARE(m_rig.helper->count("POST", "/account/pair/approve"), 0);
    }

    void creatingACode()
    {
        m_pairing->setMessage(u"прежнее"_s);
        QVERIFY(!approval().codeShown());
        QVERIFY(openCode());
        QCOMPARE(m_pairing->pairingCode(), u"123456"_s);
        QCOMPARE(approval().codeDeadline(), m_rig.clock.monotonicMs() + 300'000);
        QCOMPARE(m_pairing->message(), u"прежнее"_s);
        QVERIFY(approval().codeShown());
        seconds(300);
        QVERIFY(!approval().codeShown());
        m_pairing->tick();
        QVERIFY(!m_pairing->waiting());
        QCOMPARE(codePolls(), 0);

        m_rig.helper->route("POST", "/account/pair/codes", Reply::json(200, R"({"id":"c2"})"));
        approval().createCode();
        QTRY_COMPARE_WITH_TIMEOUT(m_pairing->message(), u"Не удалось создать код."_s, wait);
        QCOMPARE(approval().codeID(), u"c1"_s);

        m_rig.helper->route("POST", "/account/pair/codes",
                            Reply::json(503, R"({"error":"нет мест","id":"c3","code":"999999"})"));
        approval().createCode();
        QTRY_COMPARE_WITH_TIMEOUT(m_pairing->message(), u"нет мест"_s, wait);
        QCOMPARE(approval().codeID(), u"c1"_s);
        QCOMPARE(m_pairing->pairingCode(), u"123456"_s);
    }

    void codePollHoldsWaiting()
    {
        QVERIFY(openCode());
        m_rig.helper->route("GET", "/account/pair/code-status",
                            Reply::json(200, R"({"status":"pending"})").after(ms(300)));
        m_pairing->tick();
        QVERIFY(m_pairing->waiting());
        m_pairing->tick(); // no second poll while one is in flight
        QTRY_VERIFY_WITH_TIMEOUT(!m_pairing->waiting(), wait);
        QCOMPARE(codePolls(), 1);
        const auto poll = m_rig.helper->requests("GET", "/account/pair/code-status").constFirst();
        QCOMPARE(poll.target, QByteArray("/account/pair/code-status?id=c1"));

        // Any request of the window in flight holds the code poll back.
        m_pairing->setWaiting(true);
        m_pairing->tick();
        QCOMPARE(codePolls(), 1);
    }

    void cancellingACodeClaim()
    {
        QVERIFY(openCode());
        m_rig.helper->route(
            "GET", "/account/pair/code-status",
            Reply::json(200, R"({"status":"claimed","request_id":"r7","platform":"Linux"})"));
        m_rig.dialogs.alertAnswers = {1};
        m_pairing->setMessage(u"прежнее"_s);
        m_pairing->tick();
        QTRY_COMPARE_WITH_TIMEOUT(m_rig.dialogs.alerts.size(), 1, wait);
        QCOMPARE(m_rig.dialogs.alerts[0].informative,
                 u"Новое устройство · Linux. Подтверждайте только устройство рядом с вами."_s);
        QVERIFY(approval().codeID().isEmpty());
        QCOMPARE(m_pairing->pairingCode(), u"123456"_s);
        QCOMPARE(m_pairing->message(), u"прежнее"_s);
        QVERIFY(approval().codeShown());
        QVERIFY(!m_pairing->waiting());
        m_pairing->tick();
        QVERIFY(!m_pairing->waiting());
        QCOMPARE(codePolls(), 1);
        QCOMPARE(m_rig.helper->count("POST", "/account/pair/code-approve"), 0);
    }

    void approvingACodeClaim_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QString>("message");
        QTest::newRow("approved") << Reply::json(200, "{}") << u"Устройство добавлено."_s;
        QTest::newRow("refused") << Reply::json(409, R"({"error":"занято"})") << u"занято"_s;
    }

    void approvingACodeClaim()
    {
        QFETCH(Reply, reply);
        QFETCH(QString, message);
        QVERIFY(openCode());
        m_rig.helper->route(
            "GET", "/account/pair/code-status",
            Reply::json(200, R"({"status":"claimed","request_id":"r7","name":"Н"})"));
        m_rig.helper->route("POST", "/account/pair/code-approve", reply);
        m_pairing->tick();
        QTRY_COMPARE_WITH_TIMEOUT(m_pairing->message(), message, wait);
        QVERIFY(!m_pairing->waiting());
        QCOMPARE(bodyOf(m_rig.helper->requests("POST", "/account/pair/code-approve").constFirst()),
                 (QJsonObject{{u"id"_s, u"c1"_s}, {u"request_id"_s, u"r7"_s}}));
        const bool approved = message == u"Устройство добавлено."_s;
        QCOMPARE(approval().codeID().isEmpty(), approved);
        QCOMPARE(m_pairing->pairingCode().isEmpty(), approved);
    }

    void failedCodePollAsksNothing()
    {
        QVERIFY(openCode());
        m_rig.helper->route(
            "GET", "/account/pair/code-status",
            Reply::json(500, R"({"error":"сбой","status":"claimed","request_id":"r7"})"));
        m_pairing->tick();
        QTRY_COMPARE_WITH_TIMEOUT(m_pairing->message(), u"сбой"_s, wait);
        QVERIFY(!m_pairing->waiting());
        QVERIFY(m_rig.dialogs.alerts.isEmpty());
        QCOMPARE(approval().codeID(), u"c1"_s);
    }

    // Ticks go on under the open confirmation; they must not ask a second
    // time about the same claim. `waiting` is already clear by then.
    void oneConfirmationAtATime()
    {
        QVERIFY(openCode());
        m_rig.helper->route("GET", "/account/pair/code-status",
                            Reply::json(200, R"({"status":"claimed","request_id":"r7"})"));
        bool waitingUnderAlert = true;
        bool polledUnderAlert = true;
        m_rig.dialogs.alertAnswers = {1};
        m_rig.dialogs.whileAlertOpen = [&](const FakeDialogs::Alert&) {
            waitingUnderAlert = m_pairing->waiting();
            m_pairing->tick();
            polledUnderAlert = m_pairing->waiting();
        };
        m_pairing->tick();
        QTRY_COMPARE_WITH_TIMEOUT(m_rig.dialogs.alerts.size(), 1, wait);
        QVERIFY(!waitingUnderAlert);
        QVERIFY(!polledUnderAlert);
        QCOMPARE(codePolls(), 1);
    }

    // The tick runs under a modal alert as well.
    void ticksUnderAnAlert()
    {
        QVERIFY(openRequest());
        m_rig.helper->route("GET", "/account/pair/status",
                            Reply::json(200, R"({"status":"pending"})"));
        m_rig.dialogs.holdModal(true);
        m_pairing->startTicking();
        QTRY_VERIFY_WITH_TIMEOUT(polls() >= 1, 3500);
        m_pairing->stopTicking();
        m_rig.dialogs.holdModal(false);
    }

    void aClosedWindowIsNotTouched()
    {
        QVERIFY(openRequest());
        m_rig.helper->route("GET", "/account/pair/status",
                            Reply::json(200, R"({"status":"approved"})").after(ms(200)));
        m_pairing->tick();
        m_pairing.reset();
        QTRY_COMPARE_WITH_TIMEOUT(polls(), 1, wait);
        QTRY_VERIFY_WITH_TIMEOUT(m_rig.helper->count("GET", "/account/status") >= 2, wait);
    }
};

QTEST_GUILESS_MAIN(PairingTest)
#include "tst_Pairing.moc"
