// Renders the account window and its two embedded views in each state a
// user meets, in a light and a dark palette, one PNG per state and palette,
// for a visual check: the e-mail sign-in driven through a scripted request,
// the cabinet and the whole window through a real Core and a fake helper.
// Alerts are real message boxes, pictured over the view. Not a test: run it
// under an X server (scripts/screenshots.sh runs it under Xvfb).
//   account_screenshots [OUTPUT_FOLDER]   (default build/screenshots)
#include "FakeClock.h"
#include "FakeDeviceIdentity.h"
#include "FakeDialogs.h"
#include "FakeHelper.h"
#include "FakeLoginItem.h"
#include "FakePorts.h"
#include "FakeSystemLog.h"
#include "ShotKit.h"
#include "StatusJson.h"
#include "TestHome.h"
#include "account/AccountView.h"
#include "account/PairingApproval.h"
#include "account/PairingRequest.h"
#include "cabinet/CabinetView.h"
#include "cabinet/PlanPicker.h"
#include "core/Core.h"
#include "platform/desktop/QtDialogs.h"
#include "signin/EmailSignInView.h"
#include "signin/SignInDeviceRow.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;
using Reply = FakeHelper::Reply;

using ShotKit::darkPalette;
using ShotKit::wait;
using ShotKit::waitFor;

namespace {

const QPoint windowAt(120, 60);
constexpr int margin = 24;
constexpr int contentWidth = 500;
constexpr int padding = 20;
constexpr int settleMs = 300;
constexpr qint64 june1 = 1717243200;

// The account window's frame around one view: 500 points of content with
// 20 of padding, as tall as the view needs.
class Frame : public QWidget {
public:
    explicit Frame(QWidget* view)
    {
        setWindowTitle(u"Учётная запись"_s);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(padding, padding, padding, padding);
        layout->addWidget(view);
        setFixedWidth(contentWidth);
    }
    void fit() { setFixedHeight(layout()->totalHeightForWidth(contentWidth)); }
};

// Saves the screen around the window and any message box over it.
bool shoot(QWidget& frame, const QString& path)
{
    wait(settleMs);
    if (auto* fitted = dynamic_cast<Frame*>(&frame))
        fitted->fit();
    wait(settleMs);
    QRect area = frame.frameGeometry();
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && qobject_cast<QMessageBox*>(top))
            area |= top->frameGeometry();
    }
    area = area.adjusted(-margin, -margin, margin, margin) & frame.screen()->geometry();
    return frame.screen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .save(path);
}

// Pictures each alert `dialogs` is asked for as the application shows it
// (QtDialogs::composeAlert) over `over`, runs `shoot` once it has settled,
// then closes it; the fake's script gives the answer.
void pictureAlerts(FakeDialogs& dialogs, QWidget* over, std::function<void()> shoot)
{
    dialogs.whileAlertOpen = [over, shoot = std::move(shoot)](const FakeDialogs::Alert& alert) {
        QMessageBox box(over);
        QtDialogs::composeAlert(box, alert.message, alert.informative, alert.buttons);
        QTimer::singleShot(settleMs, &box, [&] {
            shoot();
            box.done(0);
        });
        box.exec();
    };
}

struct Call {
    QString path;
    Core::AccountDone done;
};

std::optional<QJsonObject> json(const QByteArray& text)
{
    return QJsonDocument::fromJson(text).object();
}

// Long names that must wrap inside the rows, and an entry with neither a
// name nor a platform.
QByteArray longDevices()
{
    const QJsonArray devices{
        QJsonObject{{u"id"_s, u"d1"_s},
                    {u"name"_s, u"MacBook Pro Анны Петровой (рабочий, 16 дюймов, отдел продаж)"_s},
                    {u"platform"_s, u"macOS"_s}},
        QJsonObject{{u"id"_s, u"d2"_s},
                    {u"name"_s, u"Ноутбук-бухгалтерии-второго-этажа-главного-офиса-на-Садовой"_s},
                    {u"platform"_s, u"Windows 11 Pro"_s}},
        QJsonObject{{u"id"_s, u"d3"_s}}};
    return QJsonDocument(QJsonObject{{u"error"_s, u"device_limit"_s}, {u"devices"_s, devices}})
        .toJson(QJsonDocument::Compact);
}

enum class SignInState { Address, Sending, Code, CodeRefused, Choice, ChoiceAlert, Done };

bool signInShot(SignInState state, const QString& path)
{
    FakeDialogs dialogs;
    const FakeDeviceIdentity device;
    QList<Call> calls;
    auto* view = new EmailSignInView(
        [&](const QString& p, const QMap<QString, QString>&, Core::AccountDone done) {
            calls.append({p, std::move(done)});
        },
        dialogs, device);
    Frame frame(view);
    frame.move(windowAt);
    frame.show();
    if (!QTest::qWaitForWindowExposed(&frame))
        return false;
    auto field = [&](const QString& placeholder) {
        for (auto* edit : view->findChildren<QLineEdit*>()) {
            if (edit->placeholderText() == placeholder)
                return edit;
        }
        return static_cast<QLineEdit*>(nullptr);
    };
    auto reply = [&](const QByteArray& text, std::optional<QString> error = {}) {
        calls.last().done(text.isNull() ? std::nullopt : json(text), std::move(error));
    };

    QTest::keyClicks(field(u"Электронная почта"_s), u"Anna.Petrova@Example.com"_s);
    if (state == SignInState::Address)
        return shoot(frame, path);
    QTest::keyClick(field(u"Электронная почта"_s), Qt::Key_Return);
    if (state == SignInState::Sending)
        return shoot(frame, path);
    reply(R"({"challenge_id":"c1"})");
    QTest::keyClicks(field(u"Код из 6 цифр"_s), u"482913"_s);
    if (state == SignInState::Code)
        return shoot(frame, path);
    QTest::keyClick(field(u"Код из 6 цифр"_s), Qt::Key_Return);
    if (state == SignInState::CodeRefused) {
        reply({}, u"invalid_code"_s);
        return shoot(frame, path);
    }
    if (state == SignInState::Done) {
        reply("{}");
        return shoot(frame, path);
    }
    reply(longDevices(), u"device_limit"_s);
    if (state == SignInState::Choice)
        return shoot(frame, path);
    bool saved = false;
    dialogs.alertAnswers = {1};
    pictureAlerts(dialogs, &frame, [&] { saved = shoot(frame, path); });
    view->findChildren<SignInDeviceRow*>().constFirst()->replaceButton()->click();
    return saved;
}

QJsonObject device(const QString& id, const QString& name, const QString& platform, qint64 lastSeen,
                   bool current)
{
    return {{u"id"_s, id},
            {u"name"_s, name},
            {u"platform"_s, platform},
            {u"last_seen_at"_s, lastSeen},
            {u"current"_s, current}};
}

QJsonObject plan(const QString& id, const QString& name, qint64 price, const QString& currency,
                 qint64 days, qint64 devices)
{
    return {{u"id"_s, id},
            {u"name"_s, name},
            {u"price_minor"_s, price},
            {u"currency"_s, currency},
            {u"period_days"_s, days},
            {u"devices_limit"_s, devices}};
}

QByteArray cabinetBody()
{
    const QJsonObject subscription{{u"active"_s, true},
                                   {u"plan_id"_s, u"family"_s},
                                   {u"plan_name"_s, u"Семейный на год для пяти устройств"_s},
                                   {u"ends_at"_s, june1 + 200 * 86400},
                                   {u"devices_limit"_s, 5}};
    const QJsonArray devices{
        device(u"d1"_s, u""_s, u"macOS"_s, june1 - 120, true),
        device(u"d2"_s, u"Ноутбук-бухгалтерии-второго-этажа-главного-офиса-на-Садовой"_s,
               u"Windows 11 Pro"_s, june1 - 3 * 86400, false),
        device(u"d3"_s, u"Телефон Анны"_s, u"Android"_s, 0, false)};
    const QJsonArray plans{
        plan(u"month"_s, u"Месяц"_s, 29900, u"RUB"_s, 30, 3),
        plan(u"family"_s, u"Семейный на год для пяти устройств"_s, 299000, u"RUB"_s, 365, 5),
        plan(u"corp"_s, u"Корпоративный безлимитный на три года с приоритетной поддержкой"_s,
             123456789, u"RUB"_s, 1095, 250)};
    return QJsonDocument(QJsonObject{{u"subscription"_s, subscription},
                                     {u"devices"_s, devices},
                                     {u"plans"_s, plans},
                                     {u"loaded_at"_s, june1}})
        .toJson(QJsonDocument::Compact);
}

// A Core on the fake helper with quiet ports, as the views see it, at noon
// on June 1 (UTC) by a clock that stands still.
struct ShotCore {
    FakeLoginItem loginItem;
    FakeSystemLog log;
    FakeClock clock;
    Core core;

    explicit ShotCore(FakeDialogs& dialogs)
        : core(ports(dialogs))
    {}

private:
    CorePorts ports(FakeDialogs& dialogs)
    {
        clock.setNow(QDateTime::fromSecsSinceEpoch(june1));
        CorePorts quiet = fakePorts(dialogs, loginItem, log);
        quiet.clock = &clock;
        return quiet;
    }
};

enum class CabinetState { Fresh, Loading, Failed, Payment };

bool cabinetShot(FakeHelper& helper, CabinetState state, const QString& path)
{
    helper.route("GET", "/account/status",
                 Reply::json(200, R"({"bootstrap":true,"signed_in":true,"keychain_error":false,
                     "pending_credentials":false,"device_id":"d1","active":true,"plan":"family",
                     "error":""})"));
    helper.route("GET", "/account/cabinet",
                 state == CabinetState::Loading ? Reply::stall() : Reply::json(200, cabinetBody()));
    FakeDialogs dialogs;
    ShotCore shot(dialogs);
    Core& core = shot.core;
    core.refreshAccount();
    if (!waitFor([&] { return core.account().signed_in; }))
        return false;

    auto* view = new CabinetView(core, dialogs);
    view->setTimeZone(u"Europe/Moscow"_s);
    Frame frame(view);
    frame.move(windowAt);
    frame.show();
    if (!QTest::qWaitForWindowExposed(&frame))
        return false;
    if (state == CabinetState::Loading) {
        const bool saved = waitFor([&] { return view->isLoading(); }) && shoot(frame, path);
        helper.stop(); // releases the stalled request
        return saved;
    }
    if (!waitFor([&] { return view->cabinet().has_value() && !view->isLoading(); }))
        return false;
    if (state == CabinetState::Failed) {
        helper.route("GET", "/account/cabinet",
                     Reply::json(502, R"({"error":"Центр временно недоступен"})"));
        view->load();
        if (!waitFor([&] { return !view->isLoading(); }))
            return false;
    }
    if (state != CabinetState::Payment)
        return shoot(frame, path);

    PlanPicker* picker = view->findChild<PlanPicker*>();
    picker->setFocus();
    QTest::keyClick(picker, Qt::Key_Down); // the long corporate plan
    bool saved = false;
    dialogs.alertAnswers = {0};
    pictureAlerts(dialogs, &frame, [&] { saved = shoot(frame, path); });
    for (auto* button : view->findChildren<QPushButton*>()) {
        if (button->text() == u"Перейти к оплате")
            button->click();
    }
    return saved;
}

QByteArray accountStatus(bool bootstrap, bool signedIn, bool keychainError, const QString& error)
{
    AccountStatus account;
    account.bootstrap = bootstrap;
    account.signed_in = signedIn;
    account.keychain_error = keychainError;
    account.device_id = signedIn ? u"d1"_s : QString();
    account.active = signedIn;
    account.plan = signedIn ? u"family"_s : QString();
    account.error = error;
    return accountBody(account);
}

enum class WindowState {
    Import,
    AccountError,
    SignInQr,
    KeychainRetry,
    SignedIn,
    SignedInCode,
    ApproveAlert,
    EmailConfirmation
};

QPushButton* buttonIn(QWidget* root, const QString& title)
{
    for (auto* button : root->findChildren<QPushButton*>()) {
        if (button->text() == title && button->isVisibleTo(root))
            return button;
    }
    return nullptr;
}

QLineEdit* fieldIn(QWidget* root, const QString& placeholder)
{
    for (auto* edit : root->findChildren<QLineEdit*>()) {
        if (edit->placeholderText() == placeholder && edit->isVisibleTo(root))
            return edit;
    }
    return nullptr;
}

// The whole account window, as the sheet shows it, on the fake helper.
bool windowShot(FakeHelper& helper, WindowState state, const QString& path)
{
    const bool signedIn = state == WindowState::SignedIn || state == WindowState::SignedInCode ||
                          state == WindowState::ApproveAlert ||
                          state == WindowState::EmailConfirmation;
    const bool bootstrap = state != WindowState::Import && state != WindowState::AccountError;
    const QString error = state == WindowState::AccountError
                              ? u"Не удалось прочитать список серверов: подпись не сходится."_s
                              : QString();
    helper.route("GET", "/account/status",
                 Reply::json(200, accountStatus(bootstrap, signedIn,
                                                state == WindowState::KeychainRetry, error)));
    helper.route("GET", "/account/cabinet", Reply::json(200, cabinetBody()));
    helper.route("POST", "/account/pair/requests",
                 Reply::json(200, R"({"id":"5f0c2a7e93d14b8ea1f40c6e2d9b7a31","secret":"s1",
                     "qr_token":"Qm9vdHN0cmFwLXRva2VuLWZvci1wYWlyaW5nLTIwMjYx"})"));
    helper.route("GET", "/account/pair/status", Reply::json(200, R"({"status":"pending"})"));
    helper.route("POST", "/account/pair/codes", Reply::json(200, R"({"id":"c1","code":"482913"})"));
    helper.route("GET", "/account/pair/code-status", Reply::json(200, R"({"status":"pending"})"));
    helper.route("POST", "/account/pair/inspect",
                 Reply::json(200, R"({"name":"MacBook Air Анны","platform":"macOS"})"));
    helper.route("POST", "/account/auth/request", Reply::json(200, R"({"challenge_id":"ch1"})"));

    FakeDialogs dialogs;
    ShotCore shot(dialogs);
    Core& core = shot.core;
    core.refreshAccount();
    if (!waitFor([&] { return core.account().bootstrap == bootstrap; }))
        return false;

    QWidget sheet;
    sheet.setWindowTitle(u"Учётная запись"_s);
    auto* layout = new QVBoxLayout(&sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* view = new AccountView(core, dialogs);
    layout->addWidget(view);
    sheet.move(windowAt);
    sheet.show();
    if (!QTest::qWaitForWindowExposed(&sheet))
        return false;
    if (CabinetView* cabinet = view->cabinetView()) {
        cabinet->setTimeZone(u"Europe/Moscow"_s);
        if (!waitFor([&] { return cabinet->cabinet().has_value(); }))
            return false;
    }
    auto* scroll = view->findChild<QScrollArea*>();
    const auto reveal = [&](QWidget* target) {
        wait(settleMs);
        scroll->ensureWidgetVisible(target, 0, 40);
    };

    switch (state) {
    case WindowState::Import:
    case WindowState::AccountError:
    case WindowState::SignedIn:
        break;
    case WindowState::KeychainRetry:
        reveal(buttonIn(view, u"Повторить чтение сохранённого входа"_s));
        break;
    case WindowState::SignInQr:
        buttonIn(view, u"Войти с другого устройства по QR"_s)->click();
        if (!waitFor([&] { return view->pairing().request().qrShown(); }))
            return false;
        QTest::keyClicks(fieldIn(view, u"Код со старого устройства"_s), u"482913"_s);
        reveal(buttonIn(view, u"Отправить код на подтверждение"_s));
        break;
    case WindowState::SignedInCode:
        buttonIn(view, u"Добавить устройство по коду"_s)->click();
        if (!waitFor([&] { return view->pairing().approval().codeShown(); }))
            return false;
        reveal(buttonIn(view, u"Подтвердить почту"_s));
        break;
    case WindowState::ApproveAlert: {
        QLineEdit* link = fieldIn(view, u"Ссылка из QR нового устройства"_s);
        reveal(link);
        QTest::keyClicks(link, u"ovrin://pair?id=5f0c2a7e&token=Qm9vdHN0cmFw"_s);
        bool saved = false;
        dialogs.alertAnswers = {1};
        pictureAlerts(dialogs, &sheet, [&] { saved = shoot(sheet, path); });
        buttonIn(view, u"Подтвердить устройство"_s)->click();
        return waitFor([&] { return saved; });
    }
    case WindowState::EmailConfirmation:
        buttonIn(view, u"Подтвердить почту"_s)->click();
        QTest::keyClicks(fieldIn(view, u"Почта"_s), u"anna.petrova@example.com"_s);
        buttonIn(view, u"Получить код подтверждения"_s)->click();
        if (!waitFor([&] { return !view->challenge().isEmpty(); }))
            return false;
        QTest::keyClicks(fieldIn(view, u"Код из письма"_s), u"48291"_s);
        reveal(buttonIn(view, u"Подтвердить почту кодом"_s));
        break;
    }
    return shoot(sheet, path);
}

} // namespace

int main(int argc, char** argv)
{
    TestHome home; // before anything asks for the socket path
    QApplication app(argc, argv);
    const QString folder = ShotKit::prepare(argc, argv);
    if (folder.isEmpty())
        return 1;

    const QList<std::pair<QString, SignInState>> signIn = {
        {u"signin-address"_s, SignInState::Address},
        {u"signin-sending"_s, SignInState::Sending},
        {u"signin-code"_s, SignInState::Code},
        {u"signin-code-refused"_s, SignInState::CodeRefused},
        {u"signin-replacement"_s, SignInState::Choice},
        {u"signin-replacement-alert"_s, SignInState::ChoiceAlert},
        {u"signin-done"_s, SignInState::Done}};
    const QList<std::pair<QString, WindowState>> windows = {
        {u"account-import"_s, WindowState::Import},
        {u"account-error"_s, WindowState::AccountError},
        {u"account-signin-qr"_s, WindowState::SignInQr},
        {u"account-keychain-retry"_s, WindowState::KeychainRetry},
        {u"account-signed-in"_s, WindowState::SignedIn},
        {u"account-signed-in-code"_s, WindowState::SignedInCode},
        {u"account-approve-alert"_s, WindowState::ApproveAlert},
        {u"account-email-confirmation"_s, WindowState::EmailConfirmation}};
    const QList<std::pair<QString, CabinetState>> cabinet = {
        {u"cabinet-fresh"_s, CabinetState::Fresh},
        {u"cabinet-loading"_s, CabinetState::Loading},
        {u"cabinet-failed-refresh"_s, CabinetState::Failed},
        {u"cabinet-payment-notice"_s, CabinetState::Payment}};

    ShotKit::Report report;
    ShotKit::eachTheme([&](const QString& theme) {
        const auto path = [&](const QString& name) -> QString {
            return folder + u'/' + name + u'-' + theme + u".png"_s;
        };
        for (const auto& [name, state] : signIn)
            report(signInShot(state, path(name)), path(name));
        // A helper of its own for each picture: a stalled request ends with it.
        for (const auto& [name, state] : cabinet) {
            FakeHelper helper(home.socketPath());
            report(helper.listening() && cabinetShot(helper, state, path(name)), path(name));
        }
        for (const auto& [name, state] : windows) {
            FakeHelper helper(home.socketPath());
            report(helper.listening() && windowShot(helper, state, path(name)), path(name));
        }
    });
    return report.exitCode();
}
