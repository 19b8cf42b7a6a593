// The account as a person goes through it, against the reference helper and
// its simulated center: importing the server list, signing in with the code
// from the letter, the cabinet, pairing two new computers (second copies of
// this program on HOMEs of their own, sharing the center) by QR link and by
// code, signing out, the sign-in link from the letter opened by a second
// launch of the application, and replacing a device on a full account. Runs
// under the private session bus of ./test.sh.
#include "Journey.h"
#include "account/AccountView.h"
#include "account/PairingRequest.h"
#include "account/WrappedText.h"
#include "app/AppBus.h"
#include "app/MainWindow.h"
#include "signin/SignInDeviceRow.h"

#include <QApplication>
#include <QComboBox>
#include <QDBusConnection>
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
    if (!j.valid() || !j.start() || !j.openAccount() || !j.importList())
        return fail("the application did not start with the server list");
    if (!Journey::click(j.account(), u"Войти с другого устройства по QR"_s) ||
        !QTest::qWaitFor([&] { return j.account()->pairing().request().qrShown(); }, patience))
        return fail("no QR");
    const auto* link = j.account()->findChild<WrappedText*>(u"pair-link"_s);
    if (!link || !link->isVisible() || !writeFile(exchange + u"/link"_s, link->text()))
        return fail("no link on screen");

    const QString code = exchange + u"/code"_s;
    if (way == "code" &&
        (!QTest::qWaitFor([&] { return QFile::exists(code); }, pairingPatience) ||
         !Journey::type(j.account(), u"Код со старого устройства"_s, readFile(code)) ||
         !Journey::click(j.account(), u"Отправить код на подтверждение"_s) ||
         !QTest::qWaitFor(
             [&] {
                 return j.account()->pairing().message() ==
                        u"Подтвердите добавление на старом устройстве."_s;
             },
             patience)))
        return fail("the code was not claimed");
    if (!QTest::qWaitFor([&] { return j.account()->layout() == Layout::SignedIn; },
                         pairingPatience))
        return fail("not signed in");
    writeFile(exchange + u"/device"_s, j.core().account().device_id);
    return j.stop() ? 0 : fail("the helper outlived the application");
}

// A new computer started the `way` way, talking through its own folder.
struct NewDevice {
    QTemporaryDir exchange;
    QProcess process;

    explicit NewDevice(const QString& way)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"OVRIN_E2E_ROLE"_s, way);
        env.insert(u"OVRIN_E2E_EXCHANGE"_s, exchange.path());
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QCoreApplication::applicationFilePath(), {});
    }
    QString file(const QString& name) const { return readFile(exchange.path() + u'/' + name); }
    // Its pairing link, once it shows one.
    QString link()
    {
        return QTest::qWaitFor([&] { return !file(u"link"_s).isEmpty(); }, patience)
                   ? file(u"link"_s)
                   : QString();
    }
    // It ended signed in, as another device than `self` of the account.
    bool signedIn(const QString& self)
    {
        return process.waitForFinished(pairingPatience) &&
               process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 &&
               !file(u"device"_s).isEmpty() && file(u"device"_s) != self;
    }
};

} // namespace

class AccountJourneys : public QObject {
    Q_OBJECT

    // One HOME for the whole program: the socket path is read from it once.
    Journey j;
    AccountView* account() { return j.account(); }

private Q_SLOTS:
    void init()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(),
                 "no session bus: run the suite through ./test.sh (dbus-run-session)");
        QVERIFY(j.valid());
        j.wipe();
        QVERIFY(j.start());
        QVERIFY(j.openAccount());
    }
    void cleanup() { QVERIFY(j.stop()); }

    void signInCabinetPairingSignOutAndALink()
    {
        QCOMPARE(account()->layout(), Layout::Import);
        QVERIFY(j.importList());
        QCOMPARE(account()->pairing().message(), u"Список проверен."_s);
        QVERIFY(j.signIn(u"anna@example.ru"_s));
        CabinetView* cabinet = account()->cabinetView();
        QTRY_VERIFY_WITH_TIMEOUT(cabinet->cabinet().has_value(), patience);
        for (const QString& text : {u"Пробный период"_s, u"Осталось дней: "_s, u"Этот Mac"_s})
            QVERIFY2(Journey::showsText(cabinet, text), qPrintable(text));
        auto* plans = cabinet->findChild<QComboBox*>();
        QVERIFY(plans);
        QVERIFY(plans->findText(u"299,00\u00A0₽"_s, Qt::MatchContains) >= 0);

        // Two new computers at once: one shows its QR, one claims a code.
        NewDevice byQr(u"qr"_s);
        NewDevice byCode(u"code"_s);
        const QString link = byQr.link();
        QVERIFY2(link.startsWith(u"ovrin://pair?id="_s), qPrintable(link));
        QVERIFY(Journey::type(account(), u"Ссылка из QR нового устройства"_s, link));
        QVERIFY(Journey::click(account(), u"Подтвердить устройство"_s));
        QTRY_COMPARE_WITH_TIMEOUT(account()->pairing().message(), u"Устройство подтверждено."_s,
                                  patience);
        const FakeDialogs::Alert asked = j.dialogs().alerts.constLast();
        QCOMPARE(asked.message, u"Добавить устройство?"_s);
        QVERIFY(asked.informative.endsWith(
            u" · macOS. Подтверждайте только QR с экрана устройства рядом с вами."_s));
        QVERIFY(byQr.signedIn(j.core().account().device_id));

        QVERIFY(!byCode.link().isEmpty());
        QVERIFY(Journey::click(account(), u"Добавить устройство по коду"_s));
        auto* code = account()->findChild<QLabel*>(u"pairing-code"_s);
        QTRY_VERIFY_WITH_TIMEOUT(code->isVisible(), patience);
        QVERIFY(writeFile(byCode.exchange.path() + u"/code"_s, code->text()));
        QTRY_COMPARE_WITH_TIMEOUT(account()->pairing().message(), u"Устройство добавлено."_s,
                                  pairingPatience);
        QVERIFY(j.dialogs().alerts.constLast().informative.endsWith(
            u" · macOS. Подтверждайте только устройство рядом с вами."_s));
        QVERIFY(byCode.signedIn(j.core().account().device_id));

        QVERIFY(Journey::click(account(), u"Выйти из аккаунта и отключить VPN"_s));
        QTRY_COMPARE_WITH_TIMEOUT(account()->layout(), Layout::SignIn, patience);
        QCOMPARE(account()->pairing().message(), u"Готово."_s);

        // The link from the letter, opened by a second launch while the
        // window is hidden: this copy shows it and signs in, asking nothing.
        AppBus bus;
        connect(&bus, &AppBus::activateRequested, &j.app(), &Delegate::showWindow);
        connect(&bus, &AppBus::linksReceived, &j.app(), &Delegate::openLinks);
        QVERIFY(bus.publish());
        const QString boris = u"boris@example.ru"_s;
        QVERIFY(j.requestCode(boris));
        j.app().window()->hide();
        j.core().setShowAccount(false);
        const qsizetype alerts = j.dialogs().alerts.size();
        QProcess second;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        second.setProcessEnvironment(env);
        second.start(QStringLiteral(OVRIN_PATH), {j.letterLink(boris)});
        // The first copy must keep running its loop while the second one asks.
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, patience);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(j.app().window()->isVisible());
        QVERIFY(j.core().showAccount());
        QTRY_VERIFY_WITH_TIMEOUT(j.core().account().signed_in, patience);
        QTRY_COMPARE_WITH_TIMEOUT(account()->layout(), Layout::SignedIn, patience);
        QCOMPARE(j.dialogs().alerts.size(), alerts);
    }

    void fullAccountReplacesADevice()
    {
        const QString email = u"full@ovrin.test"_s;
        QVERIFY(j.importList());
        QVERIFY(j.requestCode(email));
        QVERIFY(j.enterCode(email));
        QTRY_VERIFY_WITH_TIMEOUT(!account()->findChildren<SignInDeviceRow*>().isEmpty(), patience);
        const QList<SignInDeviceRow*> rows = account()->findChildren<SignInDeviceRow*>();
        const auto office = std::find_if(rows.begin(), rows.end(), [](SignInDeviceRow* row) {
            return row->device().name == u"iMac в офисе"_s;
        });
        QVERIFY(office != rows.end());
        QTest::mouseClick((*office)->replaceButton(), Qt::LeftButton);
        QCOMPARE(j.dialogs().alerts.constLast().buttons,
                 (QStringList{u"Заменить и войти"_s, u"Отмена"_s}));
        QTRY_COMPARE_WITH_TIMEOUT(account()->layout(), Layout::SignedIn, patience);

        CabinetView* cabinet = account()->cabinetView();
        QTRY_VERIFY_WITH_TIMEOUT(cabinet->cabinet().has_value(), patience);
        QVERIFY(Journey::showsText(cabinet, u"MacBook Air Анны"_s));
        QVERIFY(Journey::showsText(cabinet, u"Этот Mac"_s));
        QVERIFY(!Journey::showsText(cabinet, u"iMac в офисе"_s));
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
