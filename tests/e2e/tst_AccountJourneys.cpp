// The account as a person goes through it, against the reference helper and
// its simulated center: importing the server list, signing in with the code
// from the letter, the cabinet, signing out, replacing a device on a full
// account, pairing a second computer (a second copy of this program on its
// own HOME, sharing the center) by QR link and by code, and the sign-in link
// from the letter opened by a second launch of the application. Runs under
// the private session bus of ./test.sh.
#include "Journey.h"
#include "account/AccountView.h"
#include "account/PairingRequest.h"
#include "account/WrappedText.h"
#include "app/AppBus.h"
#include "signin/SignInDeviceRow.h"

#include <QApplication>
#include <QComboBox>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;
using Layout = AccountView::Layout;

namespace {

constexpr int patience = Journey::patienceMs;
// Pairing ends through the new device's own 2 s polls and, by code, the
// signed-in device's.
constexpr int pairingPatience = 60'000;

QString readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

bool writeFile(const QString& path, const QString& text)
{
    QFile file(path + u".part"_s);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0)
        return false;
    file.close();
    return QFile::rename(path + u".part"_s, path);
}

// The new computer, run as a second copy of this program on a HOME of its
// own: opens a pairing request, publishes its link in the exchange folder,
// in the code way also claims the code the test leaves there, and ends with
// status 0 once it is signed in.
int newDevice(const QByteArray& way)
{
    const QString exchange = qEnvironmentVariable("OVRIN_E2E_EXCHANGE");
    const auto fail = [](const char* step) {
        std::fprintf(stderr, "new device: %s\n", step);
        return 1;
    };
    Journey j;
    if (!j.valid() || !j.start() || !j.openAccount())
        return fail("the application did not start");
    j.dialogs().folderAnswer = j.sampleServers();
    if (!Journey::click(j.account(), u"Импорт списка серверов…"_s) ||
        !QTest::qWaitFor([&] { return j.account()->layout() == Layout::SignIn; }, patience))
        return fail("the server list was not imported");
    if (!Journey::click(j.account(), u"Войти с другого устройства по QR"_s) ||
        !QTest::qWaitFor([&] { return j.account()->pairing().request().qrShown(); }, patience))
        return fail("no QR");
    const auto* link = j.account()->findChild<WrappedText*>(u"pair-link"_s);
    if (!link || !link->isVisible() || !writeFile(exchange + u"/link"_s, link->text()))
        return fail("no link on screen");

    if (way == "code") {
        const QString code = exchange + u"/code"_s;
        if (!QTest::qWaitFor([&] { return QFile::exists(code); }, pairingPatience))
            return fail("no code came");
        if (!Journey::type(j.account(), u"Код со старого устройства"_s, readFile(code)) ||
            !Journey::click(j.account(), u"Отправить код на подтверждение"_s) ||
            !QTest::qWaitFor(
                [&] {
                    return j.account()->pairing().message() ==
                           u"Подтвердите добавление на старом устройстве."_s;
                },
                patience))
            return fail("the code was not claimed");
    }
    if (!QTest::qWaitFor([&] { return j.account()->layout() == Layout::SignedIn; },
                         pairingPatience))
        return fail("not signed in");
    writeFile(exchange + u"/device"_s, j.core().account().device_id);
    return j.stop() ? 0 : fail("the helper outlived the application");
}

} // namespace

class AccountJourneys : public QObject {
    Q_OBJECT

    std::unique_ptr<Journey> m_journey;
    Journey& j() { return *m_journey; }
    AccountView* account() { return j().account(); }

    // Starts the new computer; its link appears in `exchange`.
    bool startNewDevice(QProcess& device, const QString& way, const QString& exchange)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"OVRIN_E2E_ROLE"_s, way);
        env.insert(u"OVRIN_E2E_EXCHANGE"_s, exchange);
        device.setProcessEnvironment(env);
        device.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        device.start(QCoreApplication::applicationFilePath(), {});
        return device.waitForStarted() &&
               QTest::qWaitFor([&] { return QFile::exists(exchange + u"/link"_s); }, patience);
    }
    // The new computer ended signed in, as a device of this account.
    bool newDeviceSignedIn(QProcess& device, const QString& exchange)
    {
        return device.waitForFinished(pairingPatience) &&
               device.exitStatus() == QProcess::NormalExit && device.exitCode() == 0 &&
               !readFile(exchange + u"/device"_s).isEmpty() &&
               readFile(exchange + u"/device"_s) != j().core().account().device_id;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QFAIL("no session bus: run the suite through ./test.sh (dbus-run-session)");
        m_journey = std::make_unique<Journey>();
        QVERIFY(j().valid());
    }
    void init()
    {
        j().wipe();
        QVERIFY(j().start());
    }
    void cleanup()
    {
        QVERIFY(j().stop());
        j().dialogs() = FakeDialogs();
    }
    void cleanupTestCase() { m_journey.reset(); }

    void importSignInCabinetSignOut()
    {
        QVERIFY(j().openAccount());
        QCOMPARE(account()->layout(), Layout::Import);
        j().dialogs().folderAnswer = j().sampleServers();
        QVERIFY(Journey::click(account(), u"Импорт списка серверов…"_s));
        QTRY_COMPARE_WITH_TIMEOUT(account()->layout(), Layout::SignIn, patience);
        QCOMPARE(account()->pairing().message(), u"Список проверен."_s);

        QVERIFY(j().signIn(u"anna@example.ru"_s));
        CabinetView* cabinet = account()->cabinetView();
        QTRY_VERIFY_WITH_TIMEOUT(cabinet->cabinet().has_value(), patience);
        QVERIFY(Journey::showsText(cabinet, u"Пробный период"_s));
        QVERIFY(Journey::showsText(cabinet, u"Осталось дней: "_s));
        QVERIFY(Journey::showsText(cabinet, u"Этот Mac"_s));
        auto* plans = cabinet->findChild<QComboBox*>();
        QVERIFY(plans);
        QStringList offered;
        for (int i = 0; i < plans->count(); ++i)
            offered << plans->itemText(i);
        QVERIFY2(offered.join(u'|').contains(u"299,00\u00A0₽"_s), qPrintable(offered.join(u'|')));

        QVERIFY(Journey::click(account(), u"Выйти из аккаунта и отключить VPN"_s));
        QTRY_COMPARE_WITH_TIMEOUT(account()->layout(), Layout::SignIn, patience);
        QCOMPARE(account()->pairing().message(), u"Готово."_s);
        QVERIFY(Journey::field(account(), u"Электронная почта"_s));
    }

    void fullAccountReplacesADevice()
    {
        QVERIFY(j().openAccount());
        j().dialogs().folderAnswer = j().sampleServers();
        QVERIFY(Journey::click(account(), u"Импорт списка серверов…"_s));
        QTRY_COMPARE_WITH_TIMEOUT(account()->layout(), Layout::SignIn, patience);

        const QString email = u"full@ovrin.test"_s;
        QVERIFY(Journey::type(account(), u"Электронная почта"_s, email));
        QVERIFY(Journey::click(account(), u"Получить код"_s));
        QTRY_VERIFY_WITH_TIMEOUT(Journey::field(account(), u"Код из 6 цифр"_s), patience);
        QVERIFY(Journey::type(account(), u"Код из 6 цифр"_s, j().letterCode(email)));
        QVERIFY(Journey::click(account(), u"Войти"_s));
        QTRY_VERIFY_WITH_TIMEOUT(!account()->findChildren<SignInDeviceRow*>().isEmpty(), patience);

        SignInDeviceRow* office = nullptr;
        for (auto* row : account()->findChildren<SignInDeviceRow*>()) {
            if (row->device().name == u"iMac в офисе"_s)
                office = row;
        }
        QVERIFY(office);
        j().dialogs().alertAnswers = {0};
        QTest::mouseClick(office->replaceButton(), Qt::LeftButton);
        QCOMPARE(j().dialogs().alerts.constLast().buttons,
                 (QStringList{u"Заменить и войти"_s, u"Отмена"_s}));
        QTRY_COMPARE_WITH_TIMEOUT(account()->layout(), Layout::SignedIn, patience);

        CabinetView* cabinet = account()->cabinetView();
        QTRY_VERIFY_WITH_TIMEOUT(cabinet->cabinet().has_value(), patience);
        QVERIFY(Journey::showsText(cabinet, u"MacBook Air Анны"_s));
        QVERIFY(Journey::showsText(cabinet, u"Этот Mac"_s));
        QVERIFY(!Journey::showsText(cabinet, u"iMac в офисе"_s));
    }

    void pairingByQrLink()
    {
        QVERIFY(j().signIn(u"anna@example.ru"_s));
        QTemporaryDir exchange;
        QProcess device;
        QVERIFY(startNewDevice(device, u"qr"_s, exchange.path()));

        const QString link = readFile(exchange.path() + u"/link"_s);
        QVERIFY2(link.startsWith(u"ovrin://pair?id="_s), qPrintable(link));
        QVERIFY(Journey::type(account(), u"Ссылка из QR нового устройства"_s, link));
        j().dialogs().alertAnswers = {0};
        QVERIFY(Journey::click(account(), u"Подтвердить устройство"_s));
        QTRY_COMPARE_WITH_TIMEOUT(account()->pairing().message(), u"Устройство подтверждено."_s,
                                  patience);
        const FakeDialogs::Alert asked = j().dialogs().alerts.constLast();
        QCOMPARE(asked.message, u"Добавить устройство?"_s);
        QVERIFY(asked.informative.endsWith(
            u" · macOS. Подтверждайте только QR с экрана устройства рядом с вами."_s));
        QVERIFY(newDeviceSignedIn(device, exchange.path()));
    }

    void pairingByCode()
    {
        QVERIFY(j().signIn(u"anna@example.ru"_s));
        QTemporaryDir exchange;
        QProcess device;
        QVERIFY(startNewDevice(device, u"code"_s, exchange.path()));

        j().dialogs().alertAnswers = {0};
        QVERIFY(Journey::click(account(), u"Добавить устройство по коду"_s));
        auto* code = account()->findChild<QLabel*>(u"pairing-code"_s);
        QTRY_VERIFY_WITH_TIMEOUT(code->isVisible(), patience);
        QVERIFY(writeFile(exchange.path() + u"/code"_s, code->text()));

        QTRY_COMPARE_WITH_TIMEOUT(account()->pairing().message(), u"Устройство добавлено."_s,
                                  pairingPatience);
        QVERIFY(j().dialogs().alerts.constLast().informative.endsWith(
            u" · macOS. Подтверждайте только устройство рядом с вами."_s));
        QVERIFY(newDeviceSignedIn(device, exchange.path()));
    }

    void signInLinkFromASecondLaunch()
    {
        AppBus bus;
        connect(&bus, &AppBus::activateRequested, &j().app(), &Delegate::showWindow);
        connect(&bus, &AppBus::linksReceived, &j().app(), &Delegate::openLinks);
        QVERIFY(bus.publish());

        QVERIFY(j().openAccount());
        j().dialogs().folderAnswer = j().sampleServers();
        QVERIFY(Journey::click(account(), u"Импорт списка серверов…"_s));
        QTRY_COMPARE_WITH_TIMEOUT(account()->layout(), Layout::SignIn, patience);
        const QString email = u"boris@example.ru"_s;
        QVERIFY(Journey::type(account(), u"Электронная почта"_s, email));
        QVERIFY(Journey::click(account(), u"Получить код"_s));
        QTRY_VERIFY_WITH_TIMEOUT(!j().letterLink(email).isEmpty(), patience);
        j().app().window()->hide();
        j().core().setShowAccount(false);

        QProcess second;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        second.setProcessEnvironment(env);
        second.start(QStringLiteral(OVRIN_PATH), {j().letterLink(email)});
        QVERIFY(second.waitForStarted());
        // The first copy must keep running its loop while the second one asks.
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, patience);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);

        QVERIFY(j().app().window()->isVisible());
        QVERIFY(j().core().showAccount());
        QTRY_VERIFY_WITH_TIMEOUT(j().core().account().signed_in, patience);
        QTRY_COMPARE_WITH_TIMEOUT(account()->layout(), Layout::SignedIn, patience);
        QVERIFY(j().dialogs().alerts.isEmpty());
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (const QByteArray way = qgetenv("OVRIN_E2E_ROLE"); !way.isEmpty())
        return newDevice(way);
    AccountJourneys journeys;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&journeys, argc, argv);
}

#include "tst_AccountJourneys.moc"
