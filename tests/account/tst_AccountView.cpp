// The account window against the fake helper, with a pairing clock the test
// moves: which layout and controls show for each account state, which
// buttons are pressable when, what each command sends and says.
#include "CoreRig.h"
#include "StatusJson.h"
#include "account/AccountView.h"
#include "account/PairingRequest.h"
#include "account/WrappedText.h"
#include "core/Core.h"
#include "ui/kit/TextBlock.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using Reply = FakeHelper::Reply;
using ms = FakeHelper::ms;
using Layout = AccountView::Layout;

Q_DECLARE_METATYPE(AccountView::Layout)

// Core's own test hook: one status poll on demand.
class CoreProbe {
public:
    static void poll(Core& core) { core.refresh(); }
};

namespace {

constexpr int wait = 5000;

AccountStatus account(bool bootstrap, bool signedIn)
{
    AccountStatus a;
    a.bootstrap = bootstrap;
    a.signed_in = signedIn;
    a.device_id = signedIn ? u"dev-1"_s : QString();
    return a;
}

const QStringList disabledByWaiting = {u"Войти с другого устройства по QR"_s,
                                       u"Отправить код на подтверждение"_s,
                                       u"Выйти из аккаунта и отключить VPN"_s,
                                       u"Применить серверы из центра"_s,
                                       u"Обновить профиль"_s,
                                       u"Подтвердить устройство"_s,
                                       u"Добавить устройство по коду"_s,
                                       u"Получить код подтверждения"_s,
                                       u"Подтвердить почту кодом"_s,
                                       u"Повторить чтение сохранённого входа"_s};
const QStringList neverDisabled = {u"Закрыть"_s, u"Импорт списка серверов…"_s,
                                   u"Подтвердить почту"_s};

QJsonObject bodyOf(const FakeHelper::Request& request)
{
    return QJsonDocument::fromJson(request.body).object();
}

} // namespace

class AccountViewTest : public QObject {
    Q_OBJECT

    CoreRig m_rig;
    std::unique_ptr<AccountView> m_view;

    // The helper reports `a` from now on; Core has read it.
    bool report(const AccountStatus& a)
    {
        m_rig.helper->route("GET", "/account/status", Reply::json(200, accountBody(a)));
        m_rig.core->refreshAccount();
        return QTest::qWaitFor([&] { return m_rig.core->account() == a; }, wait);
    }
    bool open(const AccountStatus& a)
    {
        if (!report(a))
            return false;
        m_view = std::make_unique<AccountView>(*m_rig.core, m_rig.dialogs);
        m_view->show();
        return QTest::qWaitForWindowExposed(m_view.get());
    }

    // The button titled `title` that the user can see, or null.
    QPushButton* button(const QString& title) const
    {
        for (auto* b : m_view->findChildren<QPushButton*>()) {
            if (b->text() == title && b->isVisibleTo(m_view.get()))
                return b;
        }
        return nullptr;
    }
    QLineEdit* field(const QString& placeholder) const
    {
        for (auto* edit : m_view->findChildren<QLineEdit*>()) {
            if (edit->placeholderText() == placeholder && edit->isVisibleTo(m_view.get()))
                return edit;
        }
        return nullptr;
    }
    QLabel* label(const QString& name) const { return m_view->findChild<QLabel*>(name); }
    bool shown(QWidget* widget) const { return widget && widget->isVisibleTo(m_view.get()); }
    QString message() const
    {
        QLabel* line = label(u"account-message"_s);
        return shown(line) ? line->text() : QString();
    }
    void type(const QString& placeholder, const QString& text)
    {
        QLineEdit* edit = field(placeholder);
        QVERIFY2(edit, qPrintable(placeholder));
        edit->selectAll();
        // Keystrokes carry Latin-1 only; anything else comes as input
        // method text, as a compose key or an input method delivers it.
        QInputMethodEvent input;
        input.setCommitString(text);
        QApplication::sendEvent(edit, &input);
    }
    bool click(const QString& title)
    {
        QPushButton* b = button(title);
        if (!b || !b->isEnabled())
            return false;
        QTest::mouseClick(b, Qt::LeftButton);
        return true;
    }
    // A pairing request opened from the sign-in layout, its QR on screen.
    bool openPairRequest()
    {
        // Identifiers and tokens as long as the center's.
        m_rig.helper->route(
            "POST", "/account/pair/requests",
            Reply::json(200, R"({"id":"5f0c2a7e93d14b8ea1f40c6e2d9b7a31","secret":"s1",
                                             "qr_token":"Qm9vdHN0cmFwLXRva2VuLWZvci1wYWlyaW5nLTIwMjYx"})"));
        return click(u"Войти с другого устройства по QR"_s) &&
               QTest::qWaitFor([&] { return m_view->pairing().request().qrShown(); }, wait);
    }
    bool openConfirmation()
    {
        m_rig.helper->route("POST", "/account/auth/request",
                            Reply::json(200, R"({"challenge_id":"ch-1"})"));
        if (!click(u"Подтвердить почту"_s))
            return false;
        type(u"Почта"_s, u"anna@example.com"_s);
        return click(u"Получить код подтверждения"_s) &&
               QTest::qWaitFor([&] { return !m_view->challenge().isEmpty(); }, wait);
    }
    void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_rig.start());
        m_rig.helper->route("GET", "/account/cabinet", Reply::json(502, R"({"error":"нет"})"));
    }
    void cleanup()
    {
        m_view.reset();
        m_rig.stop();
    }

    void layouts_data()
    {
        QTest::addColumn<bool>("bootstrap");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<Layout>("layout");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("absent");
        const QStringList signedInButtons = {u"Выйти из аккаунта и отключить VPN"_s,
                                             u"Применить серверы из центра"_s,
                                             u"Обновить профиль"_s,
                                             u"Подтвердить устройство"_s,
                                             u"Добавить устройство по коду"_s,
                                             u"Подтвердить почту"_s};
        QTest::newRow("no server list")
            << false << false << Layout::Import << QStringList{u"Импорт списка серверов…"_s}
            << (signedInButtons + QStringList{u"Войти с другого устройства по QR"_s});
        // A signed-in flag without a server list is still the import.
        QTest::newRow("signed in without a server list")
            << false << true << Layout::Import << QStringList{u"Импорт списка серверов…"_s}
            << signedInButtons;
        QTest::newRow("sign-in") << true << false << Layout::SignIn
                                 << QStringList{u"Войти с другого устройства по QR"_s}
                                 << (signedInButtons +
                                     QStringList{u"Импорт списка серверов…"_s,
                                                 u"Отправить код на подтверждение"_s});
        QTest::newRow("signed in")
            << true << true << Layout::SignedIn << signedInButtons
            << QStringList{u"Импорт списка серверов…"_s, u"Войти с другого устройства по QR"_s};
    }
    void layouts()
    {
        QFETCH(bool, bootstrap);
        QFETCH(bool, signedIn);
        QFETCH(Layout, layout);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        QVERIFY(open(account(bootstrap, signedIn)));

        QCOMPARE(m_view->layout(), layout);
        QVERIFY(shown(button(u"Закрыть"_s)));
        for (const QString& title : present)
            QVERIFY2(button(title), qPrintable(title));
        for (const QString& title : absent)
            QVERIFY2(!button(title), qPrintable(title));
        // Only the shown layout's embedded view is built at all.
        QCOMPARE(m_view->findChildren<EmailSignInView*>().size(), layout == Layout::SignIn ? 1 : 0);
        QCOMPARE(m_view->findChildren<CabinetView*>().size(), layout == Layout::SignedIn ? 1 : 0);
        QVERIFY(!field(u"Почта"_s));
        QVERIFY(message().isEmpty());
        QVERIFY(!shown(label(u"account-error"_s)));
        if (layout == Layout::SignedIn)
            QCOMPARE(label(u"device-id"_s)->text(), u"Устройство: dev-1"_s);
    }

    void accountErrorAndRetry()
    {
        AccountStatus a = account(true, false);
        a.error = u"Не удалось прочитать сохранённый вход."_s;
        a.keychain_error = true;
        QVERIFY(open(a));
        QVERIFY(shown(label(u"account-error"_s)));
        QCOMPARE(label(u"account-error"_s)->text(), a.error);
        QVERIFY(button(u"Повторить чтение сохранённого входа"_s));

        // Both follow the helper's report; the window never clears them.
        QVERIFY(report(account(true, false)));
        QVERIFY(!shown(label(u"account-error"_s)));
        QVERIFY(!button(u"Повторить чтение сохранённого входа"_s));
    }

    void layoutViewsAreMadeAfresh()
    {
        QVERIFY(open(account(true, false)));
        QPointer<EmailSignInView> first = m_view->signInView();
        QVERIFY(first);

        QVERIFY(report(account(true, true)));
        flushDeletes();
        QVERIFY(!first);
        QVERIFY(m_view->cabinetView());
        QPointer<CabinetView> cabinet = m_view->cabinetView();

        QVERIFY(report(account(true, false)));
        flushDeletes();
        QVERIFY(!cabinet);
        QVERIFY(m_view->signInView());
        QVERIFY(!m_view->signInView()->isCompleted());
    }

    void signInGoesThroughCore()
    {
        QVERIFY(open(account(true, false)));
        m_rig.helper->route("POST", "/account/auth/request",
                            Reply::json(200, R"({"challenge_id":"c"})"));
        auto* email = m_view->signInView()->findChild<QLineEdit*>();
        QVERIFY(email);
        QTest::keyClicks(email, u"anna@example.com"_s);
        QTest::keyClick(email, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(m_rig.helper->count("POST", "/account/auth/request"), 1, wait);
        QCOMPARE(bodyOf(m_rig.helper->requests("POST", "/account/auth/request").constFirst())
                     .value(u"email"_s),
                 u"anna@example.com"_s);
    }

    void qrGroupLastsAMinute()
    {
        QVERIFY(open(account(true, false)));
        QVERIFY(!button(u"Отправить код на подтверждение"_s));
        QVERIFY(!shown(label(u"pair-qr"_s)));

        m_rig.helper->route("GET", "/account/pair/status",
                            Reply::json(200, R"({"status":"pending"})"));
        QVERIFY(openPairRequest());
        QVERIFY(shown(label(u"pair-qr"_s)));
        QCOMPARE(label(u"pair-qr"_s)->size(), QSize(180, 180));
        QVERIFY(!label(u"pair-qr"_s)->pixmap().isNull());
        auto* link = m_view->findChild<WrappedText*>(u"pair-link"_s);
        QCOMPARE(link->text(), m_view->pairing().request().pairLink());
        // A link with no break opportunity wraps instead of widening the
        // window: everything stays inside the 500 points.
        QVERIFY(link->height() > link->fontMetrics().height());
        auto* content = m_view->findChild<QWidget*>(u"account-content"_s);
        QVERIFY2(content->width() <= AccountView::contentSize.width(),
                 qPrintable(QString::number(content->width())));
        QVERIFY(field(u"Код со старого устройства"_s));
        QCOMPARE(message(), u"QR действует одну минуту."_s);

        m_rig.clock.advance(59'000);
        m_view->pairing().tick();
        QVERIFY(shown(label(u"pair-qr"_s)));
        QTRY_VERIFY_WITH_TIMEOUT(!m_view->pairing().request().polling(), wait);
        QCOMPARE(message(), u"QR действует одну минуту."_s);

        // The notice of the QR's minute goes with the QR.
        m_rig.clock.advance(1'000);
        m_view->pairing().tick();
        QVERIFY(!shown(label(u"pair-qr"_s)));
        QVERIFY(!button(u"Отправить код на подтверждение"_s));
        QCOMPARE(message(), QString());
        // The request is still polled after the QR is gone.
        QTRY_COMPARE_WITH_TIMEOUT(m_rig.helper->count("GET", "/account/pair/status"), 2, wait);
    }

    void codeLength_data()
    {
        QTest::addColumn<bool>("pairing");
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("enabled");
        for (const bool pairing : {true, false}) {
            const char* side = pairing ? "claim" : "e-mail";
            QTest::addRow("%s: empty", side) << pairing << u""_s << false;
            QTest::addRow("%s: five", side) << pairing << u"12345"_s << false;
            QTest::addRow("%s: six", side) << pairing << u"123456"_s << true;
            QTest::addRow("%s: seven", side) << pairing << u"1234567"_s << false;
            // Six characters in seven UTF-16 units (e and a combining acute).
            QTest::addRow("%s: combining", side) << pairing << u"12345e\u0301"_s << true;
        }
    }
    void codeLength()
    {
        QFETCH(bool, pairing);
        QFETCH(QString, code);
        QFETCH(bool, enabled);
        QVERIFY(open(account(true, !pairing)));
        if (pairing)
            QVERIFY(openPairRequest());
        else
            QVERIFY(openConfirmation());
        const QString entry = pairing ? u"Код со старого устройства"_s : u"Код из письма"_s;
        const QString send =
            pairing ? u"Отправить код на подтверждение"_s : u"Подтвердить почту кодом"_s;
        if (!code.isEmpty())
            type(entry, code);
        QVERIFY(button(send));
        QCOMPARE(button(send)->isEnabled(), enabled);
    }

    void waitingDisables_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::newRow("sign-in") << false;
        QTest::newRow("signed in") << true;
    }
    void waitingDisables()
    {
        QFETCH(bool, signedIn);
        AccountStatus a = account(true, signedIn);
        a.keychain_error = true;
        QVERIFY(open(a));
        if (signedIn) {
            type(u"Ссылка из QR нового устройства"_s, u"ovrin://pair?id=a&token=b"_s);
            QVERIFY(openConfirmation());
            type(u"Код из письма"_s, u"654321"_s);
        } else {
            QVERIFY(openPairRequest());
            type(u"Код со старого устройства"_s, u"123456"_s);
        }

        QStringList visible;
        for (const QString& title : disabledByWaiting + neverDisabled) {
            if (QPushButton* b = button(title)) {
                QVERIFY2(b->isEnabled(), qPrintable(title));
                visible << title;
            }
        }
        // Every button the layout has was ready to press.
        QCOMPARE(visible.size(), signedIn ? 10 : 4);
        m_view->pairing().setWaiting(true);
        for (const QString& title : visible)
            QCOMPARE(button(title)->isEnabled(), neverDisabled.contains(title));
        m_view->pairing().setWaiting(false);
        for (const QString& title : visible)
            QVERIFY2(button(title)->isEnabled(), qPrintable(title));
    }

    void importIsNeverDisabled()
    {
        QVERIFY(open(account(false, false)));
        m_view->pairing().setWaiting(true);
        QVERIFY(button(u"Импорт списка серверов…"_s)->isEnabled());
    }

    void fieldsGateTheirButtons()
    {
        QVERIFY(open(account(true, true)));
        QVERIFY(!button(u"Подтвердить устройство"_s)->isEnabled());
        type(u"Ссылка из QR нового устройства"_s, u"x"_s);
        QVERIFY(button(u"Подтвердить устройство"_s)->isEnabled());

        QVERIFY(click(u"Подтвердить почту"_s));
        QVERIFY(!button(u"Получить код подтверждения"_s)->isEnabled());
        QVERIFY(!field(u"Код из письма"_s));
        type(u"Почта"_s, u"a"_s);
        QVERIFY(button(u"Получить код подтверждения"_s)->isEnabled());
    }

    void applyWaitsForDisconnect_data()
    {
        QTest::addColumn<bool>("running");
        QTest::newRow("connected") << true;
        QTest::newRow("disconnected") << false;
    }
    void applyWaitsForDisconnect()
    {
        QFETCH(bool, running);
        Status status;
        status.helper = true;
        status.running = running;
        m_rig.helper->route("GET", "/status", Reply::json(200, statusBody(status)));
        CoreProbe::poll(*m_rig.core);
        QTRY_COMPARE_WITH_TIMEOUT(m_rig.core->status().running, running, wait);
        QVERIFY(open(account(true, true)));

        QCOMPARE(button(u"Применить серверы из центра"_s)->isEnabled(), !running);
        bool note = false;
        for (auto* block : m_view->findChildren<TextBlock*>()) {
            if (block->text() == u"Отключите соединение перед применением новых серверов."_s)
                note = shown(block);
        }
        QCOMPARE(note, running);
    }

    void commands_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("next");  // the field the user types in next
        QTest::addColumn<QString>("stays"); // the line after that
        const QString link = u"Ссылка из QR нового устройства"_s;
        // The helper reports the sign-out: the line stands under the sign-in.
        QTest::newRow("sign out") << u"Выйти из аккаунта и отключить VPN"_s
                                  << QByteArray("/account/logout") << 200 << u"Готово."_s
                                  << u"Электронная почта"_s << QString();
        QTest::newRow("apply") << u"Применить серверы из центра"_s << QByteArray("/account/apply")
                               << 200 << u"Готово."_s << link << QString();
        QTest::newRow("refresh refused")
            << u"Обновить профиль"_s << QByteArray("/account/refresh") << 409
            << u"Профиль обновляется"_s << link << u"Профиль обновляется"_s;
        QTest::newRow("keychain retry")
            << u"Повторить чтение сохранённого входа"_s << QByteArray("/account/keychain/retry")
            << 200 << u"Готово."_s << link << QString();
    }
    void commands()
    {
        QFETCH(QString, title);
        QFETCH(QByteArray, path);
        QFETCH(int, code);
        QFETCH(QString, shown);
        QFETCH(QString, next);
        AccountStatus a = account(true, true);
        a.keychain_error = true;
        QVERIFY(open(a));
        m_rig.helper->route(
            "POST", path,
            Reply::json(code, code == 200 ? QByteArray("{}") : R"({"error":"Профиль обновляется"})")
                .after(ms(150)));
        if (path == "/account/logout")
            m_rig.helper->route("GET", "/account/status",
                                Reply::json(200, accountBody(account(true, false))));
        QVERIFY(click(title));
        QVERIFY(m_view->pairing().waiting());
        QVERIFY(!button(title)->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(message(), shown, wait);
        QVERIFY(!m_view->pairing().waiting());
        const auto sent = m_rig.helper->requests("POST", path);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.constFirst().body, QByteArray("{}"));

        // "Готово." lasts until the user's next step; an error stays.
        QTRY_VERIFY_WITH_TIMEOUT(field(next), wait);
        QCOMPARE(message(), shown);
        QTest::keyClicks(field(next), u"a"_s);
        QTEST(message(), "stays");
    }

    void codePollHoldsTheButtons()
    {
        QVERIFY(open(account(true, true)));
        m_rig.helper->route("POST", "/account/pair/codes",
                            Reply::json(200, R"({"id":"c1","code":"482913"})"));
        QVERIFY(click(u"Добавить устройство по коду"_s));
        QTRY_VERIFY_WITH_TIMEOUT(shown(label(u"pairing-code"_s)), wait);
        QCOMPARE(label(u"pairing-code"_s)->text(), u"482913"_s);

        m_rig.helper->route("GET", "/account/pair/code-status",
                            Reply::json(200, R"({"status":"pending"})").after(ms(200)));
        m_view->pairing().tick();
        QVERIFY(m_view->pairing().waiting());
        QVERIFY(!button(u"Выйти из аккаунта и отключить VPN"_s)->isEnabled());
        QVERIFY(!button(u"Добавить устройство по коду"_s)->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(button(u"Добавить устройство по коду"_s)->isEnabled(), wait);

        // Five minutes on, the code leaves the screen at the next tick.
        m_rig.clock.advance(300'000);
        m_view->pairing().tick();
        QVERIFY(!shown(label(u"pairing-code"_s)));
    }

    void emailConfirmation_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("sectionStays");
        QTest::newRow("confirmed") << 200 << u"Почта подтверждена."_s << false;
        QTest::newRow("wrong code") << 400 << u"Неверный код"_s << true;
    }
    void emailConfirmation()
    {
        QFETCH(int, code);
        QFETCH(QString, shown);
        QFETCH(bool, sectionStays);
        QVERIFY(open(account(true, true)));
        QVERIFY(openConfirmation());
        QCOMPARE(message(), u"Введите код из письма."_s);
        QCOMPARE(bodyOf(m_rig.helper->requests("POST", "/account/auth/request").constFirst()),
                 (QJsonObject{{u"email"_s, u"anna@example.com"_s}}));

        m_rig.helper->route(
            "POST", "/account/auth/verify",
            Reply::json(code, code == 200 ? QByteArray("{}") : R"({"error":"Неверный код"})"));
        type(u"Код из письма"_s, u"482913"_s);
        QVERIFY(click(u"Подтвердить почту кодом"_s));
        QTRY_COMPARE_WITH_TIMEOUT(message(), shown, wait);
        QCOMPARE(bodyOf(m_rig.helper->requests("POST", "/account/auth/verify").constFirst()),
                 (QJsonObject{{u"challenge_id"_s, u"ch-1"_s}, {u"code"_s, u"482913"_s}}));
        QCOMPARE(m_view->verifyingEmail(), sectionStays);
        QCOMPARE(field(u"Почта"_s) != nullptr, sectionStays);
    }

    void confirmationWithoutChallenge()
    {
        QVERIFY(open(account(true, true)));
        m_rig.helper->route("POST", "/account/auth/request",
                            Reply::json(429, R"({"error":"Слишком часто"})"));
        QVERIFY(click(u"Подтвердить почту"_s));
        type(u"Почта"_s, u"anna@example.com"_s);
        QVERIFY(click(u"Получить код подтверждения"_s));
        QTRY_COMPARE_WITH_TIMEOUT(message(), u"Слишком часто"_s, wait);
        QVERIFY(!field(u"Код из письма"_s));
    }

    void confirmationOutlivesSignOut()
    {
        QVERIFY(open(account(true, true)));
        QVERIFY(click(u"Подтвердить почту"_s));
        type(u"Почта"_s, u"anna@example.com"_s);
        QVERIFY(report(account(true, false)));
        QCOMPARE(m_view->layout(), Layout::SignIn);
        QVERIFY(field(u"Почта"_s));
        QCOMPARE(field(u"Почта"_s)->text(), u"anna@example.com"_s);
    }

    void importServers_data()
    {
        QTest::addColumn<std::optional<QString>>("folder");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("shown");
        QTest::newRow("verified") << std::optional<QString>(u"/tmp/с пробелом"_s) << 200
                                  << u"Список проверен."_s;
        QTest::newRow("bad signature")
            << std::optional<QString>(u"/tmp/list"_s) << 400 << u"Подпись не сходится"_s;
        QTest::newRow("cancelled") << std::optional<QString>() << 200 << QString();
    }
    void importServers()
    {
        QFETCH(std::optional<QString>, folder);
        QFETCH(int, code);
        QFETCH(QString, shown);
        QVERIFY(open(account(false, false)));
        m_rig.dialogs.folderAnswer = folder;
        m_rig.helper->route("POST", "/account/bootstrap",
                            Reply::json(code, code == 200 ? QByteArray("{}")
                                                          : R"({"error":"Подпись не сходится"})"));
        QVERIFY(click(u"Импорт списка серверов…"_s));
        QCOMPARE(m_rig.dialogs.folderPanels.size(), 1);
        if (!folder) {
            QVERIFY(settleRoundTrips());
            QCOMPARE(m_rig.helper->count("POST", "/account/bootstrap"), 0);
        }
        QTRY_COMPARE_WITH_TIMEOUT(message(), shown, wait);
    }

    void closing()
    {
        QVERIFY(open(account(true, false)));
        m_rig.core->setShowAccount(true);
        QVERIFY(click(u"Закрыть"_s));
        QVERIFY(!m_rig.core->showAccount());
    }
};

QTEST_MAIN(AccountViewTest)
#include "tst_AccountView.moc"
