// Core's account funnel, the account state read, the server-list import and
// sign-in links, against the fake helper.
#include "CoreRig.h"
#include "StatusJson.h"
#include "core/Core.h"
#include "platform/DeviceIdentity.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using Reply = FakeHelper::Reply;
Q_DECLARE_METATYPE(FakeHelper::Reply)
Q_DECLARE_METATYPE(std::optional<FakeHelper::Reply>)

namespace {

struct Outcome {
    int calls = 0;
    std::optional<QJsonObject> json;
    std::optional<QString> error;
};

QByteArray accountBody(bool signedIn, const QString& deviceId = u"dev-1"_s)
{
    AccountStatus account;
    account.bootstrap = true;
    account.signed_in = signedIn;
    account.device_id = deviceId;
    account.active = true;
    account.plan = u"trial"_s;
    return ::accountBody(account);
}

QJsonObject bodyOf(const FakeHelper::Request& request)
{
    return QJsonDocument::fromJson(request.body).object();
}

} // namespace

class AccountRequestsTest : public QObject {
    Q_OBJECT

    CoreRig m_rig;

    Core::AccountDone record(Outcome& outcome)
    {
        return [&outcome](std::optional<QJsonObject> json, std::optional<QString> error) {
            ++outcome.calls;
            outcome.json = std::move(json);
            outcome.error = std::move(error);
        };
    }

private Q_SLOTS:
    void init() { QVERIFY(m_rig.start()); }
    void cleanup() { m_rig.stop(); }

    void completionRules_data()
    {
        QTest::addColumn<std::optional<Reply>>("reply");
        QTest::addColumn<bool>("hasJson");
        QTest::addColumn<QString>("error"); // null: absent

        QTest::newRow("no helper") << std::optional<Reply>() << false << u"Помощник не ответил."_s;
        QTest::newRow("200 with an object")
            << std::optional(Reply::json(200, R"({"challenge_id":"c1"})")) << true << QString();
        QTest::newRow("200 with an empty body")
            << std::optional(Reply::json(200, {})) << false << QString();
        QTest::newRow("200 with an array")
            << std::optional(Reply::json(200, "[1]")) << false << QString();
        QTest::newRow("201 with an object") << std::optional(Reply::json(201, R"({"ok":true})"))
                                            << true << u"Запрос не выполнен."_s;
        QTest::newRow("204 with an empty body")
            << std::optional(Reply::text(204, {})) << false << u"Запрос не выполнен."_s;
        QTest::newRow("403 with a string error")
            << std::optional(Reply::json(403, R"({"error":"Неверный код"})")) << true
            << u"Неверный код"_s;
        QTest::newRow("409 with an empty string error")
            << std::optional(Reply::json(409, R"({"error":""})")) << true << u""_s;
        QTest::newRow("403 with a numeric error")
            << std::optional(Reply::json(403, R"({"error":42})")) << true
            << u"Запрос не выполнен."_s;
        QTest::newRow("500 with plain text")
            << std::optional(Reply::text(500, "boom")) << false << u"Запрос не выполнен."_s;
        QTest::newRow("unparsable reply")
            << std::optional(Reply::raw("HTTP/1.0 200\r\nX: y\r\n\r\n{}")) << false
            << u"Помощник не ответил."_s;
    }

    void completionRules()
    {
        QFETCH(std::optional<Reply>, reply);
        QFETCH(bool, hasJson);
        QFETCH(QString, error);
        if (reply)
            m_rig.helper->route("POST", "/account/auth/request", *reply);
        else
            m_rig.helper.reset();

        Outcome outcome;
        m_rig.core->accountRequest(u"/account/auth/request"_s, {{u"email"_s, u"a@b.c"_s}},
                                   record(outcome));
        QCOMPARE(outcome.calls, 0); // never before accountRequest returns
        QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, 5000);
        QCOMPARE(outcome.json.has_value(), hasJson);
        QCOMPARE(outcome.error.has_value(), !error.isNull());
        if (!error.isNull())
            QCOMPARE(*outcome.error, error);
        QVERIFY(settleRoundTrips());
        QCOMPARE(outcome.calls, 1);
    }

    void accountIsReadAgainAfterEveryRequest()
    {
        m_rig.helper->route("GET", "/account/status", Reply::json(500, accountBody(true)));
        m_rig.helper->route("POST", "/account/refresh", Reply::json(200, "{}"));
        Outcome outcome;
        QSignalSpy changed(m_rig.core.get(), &Core::accountChanged);
        m_rig.core->accountRequest(u"/account/refresh"_s, {}, record(outcome));
        QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 1, 5000); // a 500 with a good body is taken
        QVERIFY(m_rig.core->account().signed_in);
        QCOMPARE(m_rig.core->account().device_id, u"dev-1"_s);

        const auto reads = m_rig.helper->requests("GET", "/account/status");
        QCOMPARE(reads.size(), 1);
        QVERIFY(reads[0].body.isEmpty());
        QCOMPARE(reads[0].header("Content-Length"), QByteArray("0"));
    }

    void accountIsReadAgainAlsoWithoutAReply()
    {
        // The request finds no route to answer on and the connection is closed.
        m_rig.helper->route("POST", "/account/logout", Reply::closeWithoutAnswer());
        m_rig.helper->route("GET", "/account/status", Reply::json(200, accountBody(false)));
        Outcome outcome;
        m_rig.core->accountRequest(u"/account/logout"_s, {}, record(outcome));
        QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, 5000);
        QCOMPARE(outcome.error, std::optional(u"Помощник не ответил."_s));
        QTRY_COMPARE_WITH_TIMEOUT(m_rig.helper->count("GET", "/account/status"), 1, 5000);
    }

    void undecodableAccountKeepsTheLastOne()
    {
        m_rig.helper->route("GET", "/account/status", Reply::json(200, accountBody(true)));
        m_rig.core->refreshAccount();
        QTRY_VERIFY_WITH_TIMEOUT(m_rig.core->account().signed_in, 5000);

        QJsonObject broken = QJsonDocument::fromJson(accountBody(false, u"dev-2"_s)).object();
        broken.remove(u"plan"_s);
        m_rig.helper->route("GET", "/account/status",
                            Reply::json(200, QJsonDocument(broken).toJson()));
        m_rig.core->refreshAccount();
        QTRY_COMPARE_WITH_TIMEOUT(m_rig.helper->count("GET", "/account/status"), 2, 5000);
        QVERIFY(settleRoundTrips());
        QVERIFY(m_rig.core->account().signed_in);
        QCOMPARE(m_rig.core->account().device_id, u"dev-1"_s);
    }

    void bodiesAreFlatObjectsOfStrings()
    {
        m_rig.helper->fallback(Reply::json(200, "{}"));
        Outcome get;
        Outcome post;
        m_rig.core->accountRequest(u"GET"_s, u"/account/cabinet"_s, {}, {}, record(get));
        m_rig.core->accountRequest(u"POST"_s, u"/account/pair/status?id=p1"_s,
                                   {{u"name"_s, u"Ноутбук \"Анны\""_s}, {u"n"_s, u"1"_s}},
                                   {{u"X-Pair-Secret"_s, u"s3"_s}}, record(post));
        QTRY_COMPARE_WITH_TIMEOUT(get.calls + post.calls, 2, 5000);
        QCOMPARE(m_rig.helper->requests("GET", "/account/cabinet").constFirst().body,
                 QByteArray("{}"));
        const auto pair = m_rig.helper->requests("POST", "/account/pair/status").constFirst();
        QCOMPARE(pair.target, QByteArray("/account/pair/status?id=p1"));
        QCOMPARE(pair.header("X-Pair-Secret"), QByteArray("s3"));
        QCOMPARE(bodyOf(pair), (QJsonObject{{u"name"_s, u"Ноутбук \"Анны\""_s}, {u"n"_s, u"1"_s}}));
    }

    void importBootstrap_data()
    {
        QTest::addColumn<std::optional<QString>>("folder");
        QTest::addColumn<std::optional<Reply>>("reply");
        QTest::addColumn<int>("doneCalls");
        QTest::addColumn<QString>("error");

        QTest::newRow("cancelled")
            << std::optional<QString>() << std::optional<Reply>() << 0 << QString();
        QTest::newRow("refused") << std::optional(u"/home/я/Серверы"_s)
                                 << std::optional(
                                        Reply::json(400, R"({"error":"Подпись не сходится"})"))
                                 << 1 << u"Подпись не сходится"_s;
        QTest::newRow("imported") << std::optional(u"/home/я/Серверы"_s)
                                  << std::optional(Reply::json(200, "{}")) << 1 << QString();
    }

    void importBootstrap()
    {
        QFETCH(std::optional<QString>, folder);
        QFETCH(std::optional<Reply>, reply);
        QFETCH(int, doneCalls);
        QFETCH(QString, error);
        m_rig.dialogs.folderAnswer = folder;
        if (reply)
            m_rig.helper->route("POST", "/account/bootstrap", *reply);

        int calls = 0;
        std::optional<QString> got;
        m_rig.core->importBootstrap([&](std::optional<QString> e) {
            ++calls;
            got = e;
        });
        QCOMPARE(m_rig.dialogs.folderPanels,
                 QStringList{u"Папка с подписанным списком серверов"_s});
        if (doneCalls == 0) {
            QVERIFY(settleRoundTrips());
            QCOMPARE(calls, 0);
            QCOMPARE(m_rig.helper->requests().size(), 0);
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 5000);
        QCOMPARE(got.value_or(QString()), error);
        QCOMPARE(got.has_value(), !error.isNull());
        QCOMPARE(bodyOf(m_rig.helper->requests("POST", "/account/bootstrap").constFirst()),
                 (QJsonObject{{u"path"_s, *folder}}));
    }

    void authLinks_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("challenge"); // null: ignored
        QTest::addColumn<QString>("token");

        QTest::newRow("plain") << u"ovrin://auth?challenge_id=c1&link_token=t1"_s << u"c1"_s
                               << u"t1"_s;
        QTest::newRow("reversed, extra items")
            << u"ovrin://auth?x=1&link_token=t%2B1&challenge_id=c1&y"_s << u"c1"_s << u"t+1"_s;
        QTest::newRow("another scheme")
            << u"https://auth?challenge_id=c1&link_token=t1"_s << QString() << QString();
        QTest::newRow("host pair")
            << u"ovrin://pair?challenge_id=c1&link_token=t1"_s << QString() << QString();
        QTest::newRow("no host") << u"ovrin:auth?challenge_id=c1&link_token=t1"_s << QString()
                                 << QString();
        QTest::newRow("first challenge empty")
            << u"ovrin://auth?challenge_id=&challenge_id=c2&link_token=t1"_s << QString()
            << QString();
        QTest::newRow("no token") << u"ovrin://auth?challenge_id=c1"_s << QString() << QString();
        QTest::newRow("token empty")
            << u"ovrin://auth?challenge_id=c1&link_token"_s << QString() << QString();
    }

    void authLinks()
    {
        QFETCH(QString, link);
        QFETCH(QString, challenge);
        QFETCH(QString, token);
        m_rig.helper->route("POST", "/account/auth/verify", Reply::json(200, "{}"));
        m_rig.core->receiveAuthLink(QUrl(link));
        if (challenge.isNull()) {
            QVERIFY(settleRoundTrips());
            QVERIFY(!m_rig.core->showAccount());
            QCOMPARE(m_rig.helper->requests().size(), 0);
            return;
        }
        QVERIFY(m_rig.core->showAccount());
        QTRY_COMPARE_WITH_TIMEOUT(m_rig.helper->count("POST", "/account/auth/verify"), 1, 5000);
        QCOMPARE(bodyOf(m_rig.helper->requests("POST", "/account/auth/verify").constFirst()),
                 (QJsonObject{{u"challenge_id"_s, challenge},
                              {u"link_token"_s, token},
                              {u"name"_s, m_rig.core->device().name()},
                              {u"platform"_s, u"macOS"_s}}));
        QVERIFY(settleRoundTrips());
        QVERIFY(m_rig.dialogs.alerts.isEmpty());
    }

    void failedLinkSignInAlertsAndLinksGoOneByOne()
    {
        m_rig.helper->once("POST", "/account/auth/verify",
                           Reply::json(400, R"({"error":"invalid_code"})"));
        m_rig.helper->once("POST", "/account/auth/verify", Reply::json(200, "{}"));
        m_rig.core->receiveAuthLink(QUrl(u"ovrin://auth?challenge_id=c1&link_token=t1"_s));
        m_rig.core->receiveAuthLink(QUrl(u"ovrin://auth?challenge_id=c2&link_token=t2"_s));
        QTRY_COMPARE_WITH_TIMEOUT(m_rig.helper->count("POST", "/account/auth/verify"), 2, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(m_rig.dialogs.alerts.size(), 1, 5000);
        QCOMPARE(m_rig.dialogs.alerts[0].message, u"Не удалось войти"_s);
        QCOMPARE(m_rig.dialogs.alerts[0].informative, u"invalid_code"_s);
        QStringList challenges;
        for (const auto& r : m_rig.helper->requests("POST", "/account/auth/verify"))
            challenges << bodyOf(r).value(u"challenge_id"_s).toString();
        challenges.sort();
        QCOMPARE(challenges, (QStringList{u"c1"_s, u"c2"_s}));
    }
};

QTEST_MAIN(AccountRequestsTest)
#include "tst_AccountRequests.moc"
