// The account against the fake helper: Core's request funnel and sign-in
// links, device pairing on a clock the test moves, the pairing QR read back
// by zbarimg, and the account window's buttons.
#include "CoreProbe.h"
#include "CoreRig.h"
#include "account/AccountCommandsPanel.h"
#include "account/AccountView.h"
#include "account/PairingApproval.h"
#include "account/PairingRequest.h"

#include <QComboBox>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>

#include <algorithm>

using namespace Qt::StringLiterals;
using Reply = FakeHelper::Reply;
using Layout = AccountView::Layout;

namespace {

const QString qrNotice = u"QR действует одну минуту."_s;

// A bootstrap list in place; the keychain unreadable.
AccountStatus account(bool signedIn)
{
    AccountStatus a;
    a.bootstrap = a.keychain_error = true;
    a.signed_in = signedIn;
    a.device_id = signedIn ? u"dev-1"_s : QString();
    return a;
}

QJsonObject bodyOf(const FakeHelper::Request& request)
{
    return QJsonDocument::fromJson(request.body).object();
}

} // namespace

class AccountTest : public QObject {
    Q_OBJECT

    CoreRig m_rig;
    std::unique_ptr<AccountView> m_view;

    Pairing& pairing() { return m_view->pairing(); }
    void route(const char* path, const Reply& reply)
    {
        m_rig.helper->route(QByteArray(path).endsWith("status") ? "GET" : "POST",
                            "/account/pair/"_ba + path, reply);
    }
    int count(const char* path) const
    {
        return m_rig.helper->count(QByteArray(path).endsWith("status") ? "GET" : "POST",
                                   "/account/pair/"_ba + path);
    }
    // The window's requests and the new device's poll have ended.
    bool idle()
    {
        return QTest::qWaitFor(
            [&] { return !pairing().waiting() && !pairing().request().polling(); });
    }
    bool tick()
    {
        pairing().tick();
        return idle();
    }
    bool openRequest(
        const QByteArray& reply = "{\"id\":\"a&b=c#d\",\"secret\":\"s\",\"qr_token\":\"x y+z\"}")
    {
        route("requests", Reply::json(200, reply));
        pairing().request().createPair();
        return idle();
    }
    // The helper reports `a` from now on; Core has read it.
    bool report(const AccountStatus& a)
    {
        m_rig.helper->route("GET", "/account/status", Reply::json(200, accountBody(a)));
        m_rig.core->refreshAccount();
        return QTest::qWaitFor([&] { return m_rig.core->account() == a; });
    }
    // The window on the helper's report `a`, its pairing ticked by the test.
    bool open(const AccountStatus& a)
    {
        m_view.reset();
        if (!report(a))
            return false;
        m_view = std::make_unique<AccountView>(*m_rig.core, m_rig.dialogs);
        m_view->pairing().stopTicking();
        m_view->show();
        return QTest::qWaitForWindowExposed(m_view.get());
    }
    QLineEdit* type(const QString& placeholder, const QString& text)
    {
        for (auto* edit : m_view->findChildren<QLineEdit*>()) {
            if (edit->placeholderText() == placeholder && edit->isVisibleTo(m_view.get())) {
                edit->selectAll();
                edit->insert(text); // as a paste
                return edit;
            }
        }
        qFatal("no field %s", qPrintable(placeholder));
    }
    // The address confirmed in the signed-in layout: the code is asked for under "ch-1".
    bool askEmailCode(const Reply& reply = Reply::json(200, R"({"challenge_id":"ch-1"})"))
    {
        m_rig.helper->route("POST", "/account/auth/request", reply);
        m_view->findChild<EmailConfirmationPanel*>()->begin();
        QTest::keyClick(type(u"Почта"_s, u"anna@example.com"_s), Qt::Key_Return);
        return idle() && !m_view->challenge().isEmpty();
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_rig.start());
        m_rig.helper->route("GET", "/account/cabinet", Reply::json(502, R"({"error":"нет"})"));
        QVERIFY(open(account(false)));
    }
    void cleanup()
    {
        m_view.reset();
        m_rig.stop();
    }

    // Only 200 is success; a failure's text is its "error" string.
    void funnel_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<bool>("hasJson");
        QTest::addColumn<QString>("error"); // null: none
        const QString failed = u"Запрос не выполнен."_s;
        QTest::newRow("200") << Reply::json(200, R"({"a":"b"})") << true << QString();
        QTest::newRow("201") << Reply::json(201, R"({"ok":true})") << true << failed;
        QTest::newRow("403, a text") << Reply::json(403, R"({"error":"нет"})") << true << u"нет"_s;
        QTest::newRow("403, a number") << Reply::json(403, R"({"error":42})") << true << failed;
        QTest::newRow("no answer")
            << Reply::closeWithoutAnswer() << false << u"Помощник не ответил."_s;
    }
    void funnel()
    {
        QFETCH(Reply, reply);
        QFETCH(QString, error);
        m_rig.helper->route("POST", "/account/refresh", reply);
        // An account the helper reports that cannot be decoded is not taken.
        m_rig.helper->route("GET", "/account/status", Reply::json(200, R"({"signed_in":true})"));
        m_rig.helper->clearRequests();
        QList<std::pair<std::optional<QJsonObject>, std::optional<QString>>> calls;
        m_rig.core->accountRequest(u"/account/refresh"_s, {}, [&](auto json, auto e) {
            calls.append({json, e});
        });
        QVERIFY(calls.isEmpty()); // never from within the call
        QTRY_COMPARE(calls.size(), 1);
        QTEST(calls[0].first.has_value(), "hasJson");
        QCOMPARE(calls[0].second, error.isNull() ? std::nullopt : std::optional(error));
        // The account is read again after every request, answered or not.
        QTRY_COMPARE(m_rig.helper->count("GET", "/account/status"), 1);
        QVERIFY(settleRoundTrips());
        QCOMPARE(m_rig.core->account(), account(false));
    }

    // Paying for the chosen plan names its exact price and sends nothing.
    void payment()
    {
        m_rig.helper->route(
            "GET", "/account/cabinet",
            Reply::json(200, R"({"subscription":{"active":true,"plan_id":"year","plan_name":"Год",
"ends_at":0,"devices_limit":5},"devices":[],"plans":[{"id":"month","name":"Месяц",
"price_minor":25099,"currency":"RUB","period_days":30,"devices_limit":3},{"id":"year",
"name":"Год","price_minor":199000,"currency":"RUB","period_days":365,"devices_limit":5}],
"loaded_at":0})"));
        QVERIFY(open(account(true)));
        auto* plans = m_view->findChild<QComboBox*>();
        QTRY_COMPARE(plans->count(), 2);
        plans->setCurrentIndex(plans->findText(u"Месяц"_s, Qt::MatchStartsWith));
        Q_EMIT plans->activated(plans->currentIndex()); // as the user picks it
        // Reading goes on meanwhile (the cabinet, the account); nothing is posted.
        const auto posted = [&] {
            const auto all = m_rig.helper->requests();
            return std::count_if(all.begin(), all.end(),
                                 [](const auto& r) { return r.method != "GET"; });
        };
        const auto sent = posted();
        for (auto* button : m_view->findChildren<QPushButton*>())
            if (button->text() == u"Перейти к оплате"_s)
                button->click();
        QCOMPARE(m_rig.dialogs.alerts.size(), 1);
        QCOMPARE(
            m_rig.dialogs.alerts[0].informative,
            u"Месяц: 250,99\u00A0₽ за 30 дней. Деньги не списаны, подписка не изменена."_s);
        QVERIFY(settleRoundTrips());
        QCOMPARE(posted(), sent);
    }

    void authLinks_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("token"); // null: the link is ignored
        QTest::addColumn<int>("code");      // of the verification
        // clang-format off
        QTest::newRow("reversed, extra items") << u"ovrin://auth?x=1&link_token=t%2B1&challenge_id=c1&y"_s << u"t+1"_s << 200;
        QTest::newRow("refused") << u"ovrin://auth?challenge_id=c1&link_token=t1"_s << u"t1"_s << 400;
        // clang-format on
        for (const QString& link : {u"https://auth?challenge_id=c1&link_token=t1"_s,
                                    u"ovrin://pair?challenge_id=c1&link_token=t1"_s,
                                    u"ovrin:auth?challenge_id=c1&link_token=t1"_s,
                                    u"ovrin://auth?challenge_id=&challenge_id=c1&link_token=t1"_s})
            QTest::addRow("%s", qPrintable(link)) << link << QString() << 0;
    }
    void authLinks()
    {
        QFETCH(QString, link);
        QFETCH(QString, token);
        QFETCH(int, code);
        m_rig.helper->route("POST", "/account/auth/verify",
                            Reply::json(code, R"({"error":"invalid_code"})"));
        m_rig.core->receiveAuthLink(QUrl(link));
        QCOMPARE(m_rig.core->showAccount(), !token.isNull());
        QVERIFY(settleRoundTrips());
        const auto sent = m_rig.helper->requests("POST", "/account/auth/verify");
        QCOMPARE(sent.size(), token.isNull() ? 0 : 1);
        if (token.isNull())
            return;
        QCOMPARE(bodyOf(sent[0]).value(u"link_token"_s), token);
        QCOMPARE(m_rig.dialogs.alerts.size(), code == 200 ? 0 : 1); // "Не удалось войти"
    }

    // What each pairing step takes from a reply: a failure never counts as
    // success, whatever it carries; no device the center did not vouch for is
    // offered for approval; the new device's request is polled until it is
    // not found or its window ends.
    void pairingReplies_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("polls"); // of the new device's request, after two ticks
        const auto row = [](const char* path, int code, const char* body, const QString& text,
                            int polls = 0) {
            QTest::addRow("%s %d %s", path, code, body)
                << QByteArray(path) << Reply::json(code, body) << text << polls;
        };
        // clang-format off
        row("requests", 429, R"({"error":"часто","id":"p9","secret":"s","qr_token":"t"})", u"часто"_s);
        row("requests", 200, R"({"id":"p1","secret":"s1"})", u"Не удалось создать QR."_s);
        row("status", 500, R"({"error":"сбой","status":"approved","expires_in":0})", u"сбой"_s, 2);
        row("status", 404, R"({"error":"request not_found"})", u"request not_found"_s, 1);
        row("status", 200, R"({"status":"Approved","expires_in":0})", qrNotice, 2);
        row("status", 200, R"({"status":"approved","expires_in":0,"profile_pending":true})", u"Вход сохранён. Повторите обновление профиля."_s, 1);
        row("claim", 403, R"({"error":"bad code"})", u"bad code"_s, 2);
        row("codes", 503, R"({"error":"нет мест","id":"c3","code":"999999"})", u"нет мест"_s);
        row("codes", 200, R"({"id":"c2"})", u"Не удалось создать код."_s);
        row("code-status", 500, R"({"error":"сбой","status":"claimed","request_id":"r7"})", u"сбой"_s);
        row("code-status", 200, R"({"status":"open","request_id":"r7"})", QString());
        row("code-approve", 409, R"({"error":"занято"})", u"занято"_s);
        row("inspect", 403, R"({"error":"чужая заявка","name":"X"})", u"чужая заявка"_s);
        row("inspect", 200, "", u"Не удалось проверить заявку."_s);
        row("approve", 409, R"({"error":"занято"})", u"занято"_s);
        // clang-format on
        for (const char* link : {"https://pair?id=p1&token=t1", "ovrin://auth?id=p1&token=t1",
                                 "ovrin:pair?id=p1&token=t1",
                                 "ovrin://pair?id=p1&token=", "ovrin://pair?id=p1&token=&token=t2",
                                 "ovrin://pair?token=t1", "скан QR"})
            row("link", 0, link, u"Не удалось прочитать ссылку из QR."_s);
    }
    void pairingReplies()
    {
        QFETCH(QByteArray, path);
        QFETCH(Reply, reply);
        for (const auto& [at, body] : std::initializer_list<std::pair<const char*, QByteArray>>{
                 {"requests", R"({"id":"p1","secret":"s1","qr_token":"t1"})"},
                 {"status", R"({"status":"pending"})"},
                 {"claim", "{}"},
                 {"approve", "{}"},
                 {"codes", R"({"id":"c1","code":"123456"})"},
                 {"code-approve", "{}"},
                 {"code-status", R"({"status":"claimed","request_id":"r7"})"},
                 {"inspect", R"({"name":"N"})"}})
            route(at, path == at ? reply : Reply::json(200, body));
        if (path == "requests" || path == "status" || path == "claim") {
            pairing().request().createPair();
            pairing().setPairingCode(u"654321"_s);
            QVERIFY(idle() && tick());
            if (path == "claim")
                pairing().request().claimCode();
            QVERIFY(idle() && tick());
            QCOMPARE(pairing().request().pairLink().isEmpty(), path == "requests");
        } else if (path == "inspect" || path == "approve" || path == "link") {
            pairing().approval().setApprovalLink(path == "link" ? QString::fromUtf8(reply.body)
                                                                : u"ovrin://pair?id=p1&token=t1"_s);
            pairing().approval().approvePair();
            QVERIFY(idle());
        } else {
            pairing().approval().createCode();
            QVERIFY(idle() && tick());
            QCOMPARE(pairing().approval().codeID().isEmpty(), path == "codes");
            QCOMPARE(pairing().pairingCode().isEmpty(), path == "codes");
        }
        QTEST(pairing().message(), "message");
        QCOMPARE(m_rig.dialogs.alerts.size(), path.endsWith("approve") ? 1 : 0);
        QVERIFY(settleRoundTrips());
        QCOMPARE(count("inspect"), path == "inspect" || path == "approve" ? 1 : 0);
        QTEST(count("status"), "polls");
    }

    // Cancelling a confirmation or the folder panel sends nothing; a
    // cancelled code is dropped.
    void cancelSendsNothing()
    {
        route("inspect", Reply::json(200, "{}"));
        route("codes", Reply::json(200, R"({"id":"c1","code":"123456"})"));
        route("code-status", Reply::json(200, R"({"status":"claimed","request_id":"r7"})"));
        m_rig.dialogs.alertAnswers = {1, 1};
        // The first of repeated items counts.
        pairing().approval().setApprovalLink(u"ovrin://pair?token=t%2B1&id=p%261&id=p2&token=t2"_s);
        pairing().approval().approvePair();
        QVERIFY(idle());
        QCOMPARE(bodyOf(m_rig.helper->requests("POST", "/account/pair/inspect").constFirst()),
                 (QJsonObject{{u"id"_s, u"p&1"_s}, {u"qr_token"_s, u"t+1"_s}}));
        pairing().approval().createCode();
        QVERIFY(idle());
        pairing().setWaiting(true); // another request of the window is in flight
        pairing().tick();
        QVERIFY(settleRoundTrips());
        QCOMPARE(count("code-status"), 0);
        pairing().setWaiting(false);
        // Ticks go on under the open confirmation: no second poll, no second confirmation.
        m_rig.dialogs.whileAlertOpen = [&](const auto&) { pairing().tick(); };
        QVERIFY(tick() && tick());
        QCOMPARE(m_rig.dialogs.alerts.size(), 2);
        QCOMPARE(count("code-status"), 1);
        m_rig.core->importBootstrap([](std::optional<QString>) { QFAIL("answered"); });
        QVERIFY(settleRoundTrips());
        QCOMPARE(count("approve") + count("code-approve"), 0);
        QCOMPARE(m_rig.helper->count("POST", "/account/bootstrap"), 0);
    }

    // The pairing link, every character of the center's values in its
    // place, as zbarimg reads it from the QR; the QR and its notice last a
    // minute; the request is polled on, one poll at a time. Then, signed in,
    // the e-mail confirmation.
    void qrMinuteThenEmail()
    {
        route("status", Reply::json(200, R"({"status":"pending"})").after(FakeHelper::ms(200)));
        QVERIFY(openRequest());
        const QString link = u"ovrin://pair?id=a%26b%3Dc%23d&token=x%20y%2Bz"_s;
        QCOMPARE(pairing().request().pairLink(), link);
        const QString png = m_rig.home.path() + u"/qr.png"_s;
        QVERIFY(pairing().request().pairQr().save(png));
        QProcess zbar;
        zbar.start(u"zbarimg"_s, {u"--raw"_s, u"-q"_s, png});
        QVERIFY2(zbar.waitForFinished(10000), "zbarimg (zbar-tools) is needed");
        QCOMPARE(zbar.readAllStandardOutput().trimmed(), link.toLatin1());
        auto* qr = m_view->findChild<QLabel*>(u"pair-qr"_s);
        QCOMPARE(pairing().message(), qrNotice);
        const auto pollAfter = [&](qint64 seconds) {
            m_rig.clock.advance(seconds * 1000);
            pairing().tick();
            return tick();
        };
        QVERIFY(pollAfter(59));
        const auto poll = m_rig.helper->requests("GET", "/account/pair/status").constFirst();
        QCOMPARE(poll.target + ' ' + poll.header("X-Pair-Secret"),
                 "/account/pair/status?id=a%26b%3Dc%23d s");
        QVERIFY(qr->isVisible());
        QCOMPARE(pairing().message(), qrNotice);
        QVERIFY(pollAfter(1));
        QVERIFY(!qr->isVisible());
        QCOMPARE(pairing().message(), QString());
        // The answer about a request that a new one has replaced is left alone.
        route("status", Reply::json(404, R"({"error":"not_found"})").after(FakeHelper::ms(1000)));
        pairing().tick();
        QVERIFY(openRequest(R"({"id":"p2","secret":"s","qr_token":"t"})"));
        QCOMPARE(pairing().message(), qrNotice);
        // Signed in meanwhile, the request is polled no more.
        QVERIFY(report(account(true)) && tick());
        QVERIFY(settleRoundTrips());
        QCOMPARE(count("status"), 3);
        // A command's "Готово." lasts until the user's next step.
        m_rig.helper->route("POST", "/account/refresh", Reply::json(200, "{}"));
        Q_EMIT m_view->findChild<AccountCommandsPanel*>()->commandChosen(u"/account/refresh"_s);
        QTRY_COMPARE(pairing().message(), u"Готово."_s);
        QTest::keyClick(type(u"Ссылка из QR нового устройства"_s, {}), Qt::Key_A);
        QCOMPARE(pairing().message(), QString());
        // The e-mail code goes with its challenge; a refused one keeps the section open.
        // A refusal that carries an identifier gives no code to type.
        QVERIFY(!askEmailCode(Reply::json(429, R"({"error":"Не так часто","challenge_id":"x"})")));
        QCOMPARE(pairing().message(), u"Не так часто"_s);
        QVERIFY(askEmailCode());
        m_rig.helper->route("POST", "/account/auth/verify",
                            Reply::json(400, R"({"error":"Неверный код"})"));
        QTest::keyClick(type(u"Код из письма"_s, u"482913"_s), Qt::Key_Return);
        QTRY_COMPARE(pairing().message(), u"Неверный код"_s);
        QCOMPARE(bodyOf(m_rig.helper->requests("POST", "/account/auth/verify").constFirst()),
                 (QJsonObject{{u"challenge_id"_s, u"ch-1"_s}, {u"code"_s, u"482913"_s}}));
        QVERIFY(m_view->verifyingEmail());
    }

    // Which of the window's own buttons can be pressed: a request of the
    // window holds all but "Закрыть", the import and the e-mail section's
    // opener; a connection holds the apply; a field holds its button until
    // it has a value, a code until it has six characters.
    void buttons_data()
    {
        QTest::addColumn<Layout>("layout");
        QTest::addColumn<QString>("field"); // typed over after the preparation
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("waiting");
        QTest::addColumn<bool>("running");
        QTest::addColumn<QStringList>("disabled");
        // clang-format off
        QTest::newRow("sign-in, waiting") << Layout::SignIn << QString() << QString() << true << false << QStringList{u"Войти с другого устройства по QR"_s, u"Отправить код на подтверждение"_s, u"Повторить чтение сохранённого входа"_s};
        QTest::newRow("sign-in, code of 7") << Layout::SignIn << u"Код со старого устройства"_s << u"1234567"_s << false << false << QStringList{u"Отправить код на подтверждение"_s};
        QTest::newRow("sign-in, 6 characters in 7 units") << Layout::SignIn << u"Код со старого устройства"_s << u"12345e\u0301"_s << false << false << QStringList{};
        QTest::newRow("signed in, waiting") << Layout::SignedIn << QString() << QString() << true << false << QStringList{u"Выйти из аккаунта и отключить VPN"_s, u"Применить серверы из центра"_s, u"Обновить профиль"_s, u"Подтвердить устройство"_s, u"Добавить устройство по коду"_s, u"Получить код подтверждения"_s, u"Подтвердить почту кодом"_s, u"Повторить чтение сохранённого входа"_s};
        QTest::newRow("signed in, connected") << Layout::SignedIn << QString() << QString() << false << true << QStringList{u"Применить серверы из центра"_s};
        QTest::newRow("signed in, no link") << Layout::SignedIn << u"Ссылка из QR нового устройства"_s << u""_s << false << false << QStringList{u"Подтвердить устройство"_s};
        QTest::newRow("signed in, no address") << Layout::SignedIn << u"Почта"_s << u""_s << false << false << QStringList{u"Получить код подтверждения"_s};
        QTest::newRow("signed in, 5 characters in 6 units") << Layout::SignedIn << u"Код из письма"_s << u"1234e\u0301"_s << false << false << QStringList{u"Подтвердить почту кодом"_s};
        // clang-format on
    }
    void buttons()
    {
        QFETCH(Layout, layout);
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(bool, waiting);
        QFETCH(bool, running);
        QVERIFY(serve(*m_rig.helper, *m_rig.core, status(0, running)));
        QVERIFY(open(account(layout == Layout::SignedIn)));
        if (layout == Layout::SignIn) {
            QVERIFY(openRequest());
            type(u"Код со старого устройства"_s, u"123456"_s); // 6 characters: accepted
        } else {
            type(u"Ссылка из QR нового устройства"_s, u"ovrin://pair?id=a&token=b"_s);
            QVERIFY(askEmailCode());
            type(u"Код из письма"_s, u"654321"_s);
        }
        if (!field.isNull())
            type(field, text);
        pairing().setWaiting(waiting);
        QStringList visible;
        QStringList disabled;
        QWidget* embedded = m_view->signInView() ? static_cast<QWidget*>(m_view->signInView())
                                                 : m_view->cabinetView();
        for (auto* b : m_view->findChildren<QPushButton*>()) {
            if (!b->isVisibleTo(m_view.get()) || (embedded && embedded->isAncestorOf(b)))
                continue;
            visible << b->text();
            if (!b->isEnabled())
                disabled << b->text();
        }
        QCOMPARE(visible.size(), layout == Layout::SignIn ? 4 : 10);
        QTEST(disabled, "disabled");
    }
};

QTEST_MAIN(AccountTest)
#include "tst_Account.moc"
