// The whole application in this process as a person meets it: the real
// Delegate, Core, views and ports, and the reference helper started by
// Core.launch() from a resource folder made of the built files, on a
// temporary HOME and center folder. Only the modal dialogs and the file
// panels answer from a script (FakeDialogs); the parallel-VPN scan reads a
// list the test sets (FakeVpns). The new computers that pair with it
// are second copies of this program on HOMEs of their own, sharing the
// center and talking through their standard input and output. Runs under
// the private session bus of ./test.sh.
//
// Run as "tst_e2e_journeys sni", it is the StatusNotifierItem host of
// desktop.sh's desktop (DesktopSni below).
#include "FakeDialogs.h"
#include "FakePorts.h"
#include "FakeVpns.h"
#include "OnScreen.h"
#include "Outbox.h"
#include "Presses.h"
#include "TestHome.h"
#include "account/AccountView.h"
#include "account/PairingRequest.h"
#include "account/WrappedText.h"
#include "app/AppBus.h"
#include "app/Delegate.h"
#include "app/MainWindow.h"
#include "platform/desktop/MachineInfoIdentity.h"
#include "platform/desktop/Syslog.h"
#include "platform/desktop/XdgLoginItem.h"
#include "signin/SignInDeviceRow.h"
#include "ui/kit/SystemColours.h"
#include "ui/kit/TextBlock.h"
#include "ui/main/AccountSheet.h"
#include "ui/main/ChannelClickArea.h"
#include "ui/main/ChannelList.h"
#include "ui/main/ChannelRow.h"
#include "ui/main/MainView.h"
#include "ui/main/Metric.h"
#include "ui/main/Popover.h"
#include "ui/main/PowerButton.h"
#include "ui/main/SettingsMenu.h"
#include "ui/main/WarningButton.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextStream>

using namespace Qt::StringLiterals;
using Layout = AccountView::Layout;
using Look = PowerButton::Look;

namespace {

constexpr int patience = 20'000;
// Pairing ends through the new device's own 2 s polls and, by code, the
// signed-in device's.
constexpr int pairingPatience = 60'000;
const QString helsinki = u"Финляндия — Хельсинки"_s;

QString built(const QString& name)
{
    return QCoreApplication::applicationDirPath() + u"/../lib/ovrin/"_s + name;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// What a person finds and does on screen, looking only at what is visible
// under `root`.
bool click(QWidget* root, const QString& title)
{
    for (auto* candidate : root->findChildren<QPushButton*>()) {
        if (candidate->text() == title && candidate->isVisibleTo(root) && candidate->isEnabled()) {
            QTest::mouseClick(candidate, Qt::LeftButton);
            return true;
        }
    }
    return false;
}

bool type(QWidget* root, const QString& placeholder, const QString& text)
{
    for (auto* field : root->findChildren<QLineEdit*>()) {
        if (field->placeholderText() == placeholder && field->isVisibleTo(root)) {
            field->setFocus();
            field->selectAll();
            QTest::keyClicks(field, text);
            return field->text() == text;
        }
    }
    return false;
}

bool shows(QWidget* root, const QString& part)
{
    return shownTexts(root).join(u'\n').contains(part);
}

// The application on a HOME of its own, one per process: the socket path is
// read from HOME once. Sets OVRIN_CENTER_DIR unless it names a folder already
// (a second HOME sharing it).
struct Journey {
    TestHome home;
    QTemporaryDir resources, center;
    FakeVpns vpns;
    const MachineInfoIdentity device;
    FakeDialogs dialogs;
    XdgLoginItem loginItem{home.path() + u"/.config/autostart"_s,
                           QCoreApplication::applicationFilePath()};
    Syslog log;
    std::unique_ptr<Delegate> app;

    Journey()
    {
        if (qEnvironmentVariableIsEmpty("OVRIN_CENTER_DIR"))
            qputenv("OVRIN_CENTER_DIR", QFile::encodeName(center.path()));
        const QString folder = resources.path();
        QFile::link(QFileInfo(built(u"helper"_s)).canonicalFilePath(), folder + u"/helper"_s);
        QFile::copy(built(u"channels.json"_s), folder + u"/channels.json"_s);
        QFile::copy(built(u"menubar.svg"_s), folder + u"/menubar.svg"_s);
        // Quick, yet slow enough for the status polls (each second) to see
        // it: installing takes 0.1 s, a connection is checked for 0.7 s.
        writeFile(folder + u"/netcore"_s, R"({"format": 1, "seed": 7, "tick_ms": 100,
            "latency_after_ms": 200, "verify_after_ms": 700, "install_ms": 100})");
    }

    // Starts the application for the first time, ending the one before, the
    // helper with `scenario` when there is one, and waits until the helper
    // answers.
    bool start(const QByteArray& scenario = {})
    {
        app.reset();
        dialogs = FakeDialogs();
        QDir(home.dataDir()).removeRecursively();
        QDir().mkpath(home.dataDir());
        const QString path = home.path() + u"/scenario.json"_s;
        qunsetenv("OVRIN_SIM_SCENARIO");
        if (!scenario.isEmpty() && writeFile(path, scenario))
            qputenv("OVRIN_SIM_SCENARIO", QFile::encodeName(path));
        CorePorts ports = fakePorts(dialogs, loginItem, log);
        ports.device = &device;
        ports.vpns = &vpns;
        ports.resourceFolder = resources.path();
        app = std::make_unique<Delegate>(std::move(ports));
        app->start();
        return QTest::qWaitFor([this] { return !status().channels.isEmpty(); }, patience);
    }
    MainView& view() { return *app->window()->view(); }
    Core& core() { return app->core(); }
    const Status& status() { return core().status(); }
    AccountView* account() { return qobject_cast<AccountView*>(view().accountSheet()->content()); }
    static QString centerDir() { return qEnvironmentVariable("OVRIN_CENTER_DIR"); }
    QString helperLog() const
    {
        QFile log(home.dataDir() + u"/logs/helper.log"_s);
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }

    // Double-clicks the channel in row 1 and waits until it is connected
    // and checked.
    bool connectHelsinki()
    {
        Presses::doubleClick(view().channelList()->clickArea(1));
        return QTest::qWaitFor([&] { return status().running && status().verified; }, patience);
    }
    // The tray menu's items as it shows them when opened, "✓ " before a
    // checked one.
    QStringList trayMenu()
    {
        Q_EMIT app->menu()->aboutToShow();
        QStringList items;
        for (const QAction* action : app->menu()->actions())
            items << (action->isChecked() ? u"✓ "_s : QString()) + action->text();
        Q_EMIT app->menu()->aboutToHide();
        return items;
    }

    // The account window, through the settings menu.
    bool openAccount()
    {
        view().settingsMenu()->account()->trigger();
        return QTest::qWaitFor([this] { return account() && account()->isVisible(); }, patience);
    }
    bool importList()
    {
        dialogs.folderAnswer = QFileInfo(built(u"sample-servers"_s)).canonicalFilePath();
        return click(account(), u"Импорт списка серверов…"_s) &&
               QTest::qWaitFor([&] { return account()->layout() == Layout::SignIn; }, patience);
    }
    bool requestCode(const QString& email)
    {
        return type(account(), u"Электронная почта"_s, email) &&
               click(account(), u"Получить код"_s);
    }
    // Waits until the pairing message reads `text`.
    bool pairingSays(const QString& text, int within = patience)
    {
        return QTest::qWaitFor([&] { return account()->pairing().message() == text; }, within);
    }
    // Asks for a code and sends the one from the newest letter to `email`.
    bool signIn(const QString& email)
    {
        const auto typed = [&] {
            const QString code = newestLetter(centerDir(), email).code;
            return !code.isEmpty() && type(account(), u"Код из 6 цифр"_s, code);
        };
        return requestCode(email) && QTest::qWaitFor(typed, patience) &&
               click(account(), u"Войти"_s);
    }
};

// The new computer, run as a second copy of this program on a HOME of its
// own: opens a pairing request and prints its link; in the code way also
// claims the code read from its input; prints its device once signed in.
int newDevice(const QByteArray& way)
{
    Journey j;
    const bool asked =
        j.start() && j.openAccount() && j.importList() &&
        click(j.account(), u"Войти с другого устройства по QR"_s) &&
        QTest::qWaitFor([&] { return j.account()->pairing().request().qrShown(); }, patience);
    const auto* link = j.account()->findChild<WrappedText*>(u"pair-link"_s);
    if (!asked || !link || !link->isVisible())
        qFatal("new device: no QR and link on screen");
    QTextStream(stdout) << link->text() << Qt::endl;
    if (way == "code" && !(type(j.account(), u"Код со старого устройства"_s,
                                QTextStream(stdin).readLine().trimmed()) &&
                           click(j.account(), u"Отправить код на подтверждение"_s) &&
                           j.pairingSays(u"Подтвердите добавление на старом устройстве."_s)))
        qFatal("new device: the code was not claimed");
    if (!QTest::qWaitFor([&] { return j.account()->layout() == Layout::SignedIn; },
                         pairingPatience))
        qFatal("new device: not signed in");
    QTextStream(stdout) << j.core().account().device_id << Qt::endl;
    return 0;
}

// A new computer started the `way` way.
struct NewDevice : QProcess {
    explicit NewDevice(const QString& way)
    {
        setProcessChannelMode(QProcess::ForwardedErrorChannel);
        start(QCoreApplication::applicationFilePath(), {way});
    }
    // Its next line: its pairing link, then its device once signed in.
    QString next()
    {
        return canReadLine() || waitForReadyRead(pairingPatience)
                   ? QString::fromUtf8(readLine()).trimmed()
                   : QString();
    }
    // It ended signed in, as another device of the account than `self`.
    bool signedIn(const QString& self)
    {
        const QString device = next();
        return waitForFinished(pairingPatience) && exitStatus() == NormalExit && exitCode() == 0 &&
               !device.isEmpty() && device != self;
    }
};

// The watcher every StatusNotifierItem registers with, a host always there.
class Watcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)

public:
    QStringList items;
    bool hostRegistered() const { return true; }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service) { items << service; }
};

} // namespace

class Journeys : public QObject {
    Q_OBJECT

    Journey j;
    MainView& view() { return j.view(); }
    AccountView* account() { return j.account(); }

private Q_SLOTS:
    void firstStartConnectLogsAndProtection()
    {
        QVERIFY(j.start());
        QCOMPARE(view().channelList()->count(), 7);
        QVERIFY(view().helperMissing()->isVisible());
        QTest::mouseClick(view().installButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!view().helperMissing()->isVisible(), patience);

        Presses::doubleClick(view().channelList()->clickArea(1));
        QTRY_COMPARE_WITH_TIMEOUT(view().powerButton()->look(), Look::Checking, patience);
        QVERIFY(view().checkingCaption()->isVisible());
        QCOMPARE(view().checkingCaption()->text(), u"Проверяю связь…"_s);
        QTRY_COMPARE_WITH_TIMEOUT(view().powerButton()->look(), Look::Connected, patience);
        QCOMPARE(view().channelList()->row(1)->dotColour(), SystemColours::green(view().palette()));
        // The figures are live: the receive rate moves within a few ticks.
        const QString rate = view().metrics()[1]->value();
        QTRY_VERIFY_WITH_TIMEOUT(view().metrics()[1]->value() != rate, patience);
        QVERIFY(view().metrics()[0]->value() != Metric::placeholder());
        const QStringList menu = j.trayMenu();
        QCOMPARE(menu.constFirst(), u"Подключено: "_s + helsinki);
        QVERIFY(menu.contains(u"✓ "_s + helsinki) && menu.contains(u"Отключить"_s));
        QTRY_VERIFY_WITH_TIMEOUT(j.app->glyphBright(), patience);

        // The logs, to a folder with spaces and Cyrillic, and cleared.
        const QString archive = j.home.path() + u"/Мои журналы с пробелами/журнал Оврин.zip"_s;
        QVERIFY(QDir().mkpath(QFileInfo(archive).path()));
        j.dialogs.saveAnswer = archive;
        view().settingsMenu()->exportLogs()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(j.dialogs.revealed.contains(archive), patience);
        QVERIFY(!j.core().exporting());
        QCOMPARE(QProcess::execute(u"unzip"_s, {u"-tq"_s, archive}), 0);
        QProcess unzip;
        unzip.start(u"unzip"_s, {u"-p"_s, archive, u"summary.txt"_s});
        QVERIFY(unzip.waitForFinished(patience) && unzip.exitCode() == 0);
        QVERIFY(QString::fromUtf8(unzip.readAllStandardOutput()).contains(helsinki));
        QVERIFY(j.helperLog().contains(u"connect "_s + helsinki));
        view().settingsMenu()->clearLogs()->trigger();
        QCOMPARE(j.dialogs.alerts.constLast().message, u"Очистить журналы?"_s);
        QTRY_VERIFY_WITH_TIMEOUT(!j.helperLog().contains(u"connect "_s + helsinki), patience);

        // Strict protection, switched while disconnected only.
        QTest::mouseClick(view().powerButton(), Qt::LeftButton);
        QAction* protection = view().settingsMenu()->protection();
        QTRY_VERIFY_WITH_TIMEOUT(!j.status().running && protection->isEnabled(), patience);
        protection->trigger();
        QCOMPARE(j.dialogs.alerts.constLast().message, u"Включить строгую защиту?"_s);
        QTRY_VERIFY_WITH_TIMEOUT(view().protectionNotice()->isVisible(), patience);
        QVERIFY(shows(view().protectionNotice(), u"Интернет закрыт строгой защитой."_s));
        // Connected, the notice goes; disconnected, it is back until the
        // internet is opened.
        QVERIFY(j.connectHelsinki());
        QVERIFY(!view().protectionNotice()->isVisible());
        QTest::mouseClick(view().powerButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(view().protectionNotice()->isVisible(), patience);
        QTest::mouseClick(view().openInternetButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!view().protectionNotice()->isVisible(), patience);
        QVERIFY(j.status().protected_);
    }

    void lostRouteHelperMessageAndParallelVpn()
    {
        const QString message = u"Маршрут потерян: трафик идёт мимо туннеля."_s;
        j.vpns.list({u"Рабочий WireGuard"_s});
        QVERIFY(j.start("{\"stall_after_ms\": 4000, \"message\": \"" + message.toUtf8() + "\"}"));
        QTRY_VERIFY_WITH_TIMEOUT(view().helperMessage()->isVisible(), patience);
        QCOMPARE(view().helperMessage()->text(), message);
        QTRY_VERIFY_WITH_TIMEOUT(view().warningButton()->isVisible(), patience);
        QTest::mouseClick(view().installButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(j.status().helper, patience);
        QVERIFY(j.connectHelsinki());
        QTRY_VERIFY_WITH_TIMEOUT(j.app->glyphBright(), patience);
        // No more presses from here: the popover takes them.
        QTest::mouseClick(view().warningButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(view().warningPopover()->isVisible(), patience);
        QVERIFY(view().warningPopover()->text().contains(u"Рабочий WireGuard"_s));
        j.vpns.list({});

        QTRY_COMPARE_WITH_TIMEOUT(view().powerButton()->look(), Look::Stalled, patience);
        QVERIFY(view().routeWarning()->isVisible());
        QCOMPARE(view().channelList()->row(1)->dotColour(),
                 SystemColours::orange(view().palette()));
        QVERIFY(view().helperMessage()->isVisible());
        QCOMPARE(j.trayMenu().constFirst(), u"Трафик идёт мимо: "_s + helsinki);
        QTRY_VERIFY_WITH_TIMEOUT(!j.app->glyphBright(), patience);
        // The other VPN has ended: the warning goes at the next scan.
        QTRY_VERIFY_WITH_TIMEOUT(!view().warningButton()->isVisible(), patience);
        QVERIFY(!view().warningPopover()->isVisible());
    }

    void signInCabinetPairingSignOutALinkAndAFullAccount()
    {
        QVERIFY(j.start() && j.openAccount() && j.importList());
        QCOMPARE(account()->pairing().message(), u"Список проверен."_s);
        QVERIFY(j.signIn(u"anna@example.ru"_s));
        QTRY_COMPARE_WITH_TIMEOUT(account()->layout(), Layout::SignedIn, patience);
        CabinetView* cabinet = account()->cabinetView();
        QTRY_VERIFY_WITH_TIMEOUT(cabinet->cabinet().has_value(), patience);
        for (const QString& text : {u"Пробный период"_s, u"Осталось дней: "_s, u"Этот Mac"_s})
            QVERIFY2(shows(cabinet, text), qPrintable(text));
        auto* plans = cabinet->findChild<QComboBox*>();
        QVERIFY(plans && plans->findText(u"299,00\u00A0₽"_s, Qt::MatchContains) >= 0);

        // Two new computers at once: one shows its QR, one claims a code.
        NewDevice byQr(u"qr"_s);
        NewDevice byCode(u"code"_s);
        const QString link = byQr.next();
        QVERIFY2(link.startsWith(u"ovrin://pair?id="_s), qPrintable(link));
        QVERIFY(type(account(), u"Ссылка из QR нового устройства"_s, link));
        QVERIFY(click(account(), u"Подтвердить устройство"_s));
        QVERIFY(j.pairingSays(u"Устройство подтверждено."_s));
        QCOMPARE(j.dialogs.alerts.constLast().message, u"Добавить устройство?"_s);
        QVERIFY(j.dialogs.alerts.constLast().informative.endsWith(
            u" · macOS. Подтверждайте только QR с экрана устройства рядом с вами."_s));
        QVERIFY(byQr.signedIn(j.core().account().device_id));

        QVERIFY(!byCode.next().isEmpty());
        QVERIFY(click(account(), u"Добавить устройство по коду"_s));
        auto* code = account()->findChild<QLabel*>(u"pairing-code"_s);
        QTRY_VERIFY_WITH_TIMEOUT(code->isVisible(), patience);
        byCode.write(code->text().toUtf8() + '\n');
        QVERIFY(j.pairingSays(u"Устройство добавлено."_s, pairingPatience));
        QVERIFY(j.dialogs.alerts.constLast().informative.endsWith(
            u" · macOS. Подтверждайте только устройство рядом с вами."_s));
        QVERIFY(byCode.signedIn(j.core().account().device_id));

        QVERIFY(click(account(), u"Выйти из аккаунта и отключить VPN"_s));
        QTRY_COMPARE_WITH_TIMEOUT(account()->layout(), Layout::SignIn, patience);
        QCOMPARE(account()->pairing().message(), u"Готово."_s);

        // The link from the letter, opened by a second launch while the
        // window is hidden: this copy shows it and signs in, asking nothing.
        AppBus bus;
        connect(&bus, &AppBus::activateRequested, j.app.get(), &Delegate::showWindow);
        connect(&bus, &AppBus::linksReceived, j.app.get(), &Delegate::openLinks);
        QVERIFY2(bus.publish(), "no session bus: run the suite through ./test.sh");
        const QString boris = u"boris@example.ru"_s;
        QVERIFY(j.requestCode(boris));
        QTRY_VERIFY_WITH_TIMEOUT(!newestLetter(Journey::centerDir(), boris).link.isEmpty(),
                                 patience);
        j.app->window()->hide();
        j.core().setShowAccount(false);
        const qsizetype alerts = j.dialogs.alerts.size();
        QProcess second; // offscreen as this one
        second.start(QStringLiteral(OVRIN_PATH), {newestLetter(Journey::centerDir(), boris).link});
        // The first copy must keep running its loop while the second one asks.
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, patience);
        QVERIFY(second.exitStatus() == QProcess::NormalExit && second.exitCode() == 0);
        QVERIFY(j.app->window()->isVisible() && j.core().showAccount());
        QTRY_COMPARE_WITH_TIMEOUT(account()->layout(), Layout::SignedIn, patience);
        QCOMPARE(j.dialogs.alerts.size(), alerts);

        // A full account: signing in replaces one of its devices.
        QVERIFY(click(account(), u"Выйти из аккаунта и отключить VPN"_s));
        QTRY_COMPARE_WITH_TIMEOUT(account()->layout(), Layout::SignIn, patience);
        QVERIFY(j.signIn(u"full@ovrin.test"_s));
        QTRY_VERIFY_WITH_TIMEOUT(!account()->findChildren<SignInDeviceRow*>().isEmpty(), patience);
        for (auto* row : account()->findChildren<SignInDeviceRow*>()) {
            if (row->device().name == u"iMac в офисе"_s)
                QTest::mouseClick(row->replaceButton(), Qt::LeftButton);
        }
        QCOMPARE(j.dialogs.alerts.value(alerts).buttons,
                 (QStringList{u"Заменить и войти"_s, u"Отмена"_s}));
        QTRY_COMPARE_WITH_TIMEOUT(account()->layout(), Layout::SignedIn, patience);
        cabinet = account()->cabinetView();
        QTRY_VERIFY_WITH_TIMEOUT(cabinet->cabinet().has_value(), patience);
        QVERIFY(shows(cabinet, u"MacBook Air Анны"_s) && shows(cabinet, u"Этот Mac"_s));
        QVERIFY(!shows(cabinet, u"iMac в офисе"_s));
    }
};

class DesktopSni : public QObject {
    Q_OBJECT

    QDBusConnection m_bus = QDBusConnection::sessionBus();
    Watcher m_watcher;
    QProcess m_app; // killed with the host when a check fails
    QStringList m_channels;
    QList<int> m_ids; // of the items layout() last listed

    bool launch()
    {
        m_watcher.items.clear();
        m_app.start(qEnvironmentVariable("OVRIN"), {});
        return QTest::qWaitFor([&] { return !m_watcher.items.isEmpty(); }, patience);
    }
    QDBusMessage message(const QString& path, const QString& interface, const QString& method,
                         const QVariantList& arguments)
    {
        QDBusMessage message =
            QDBusMessage::createMethodCall(m_watcher.items.value(0), path, interface, method);
        message.setArguments(arguments);
        return message;
    }
    QVariant itemProperty(const QString& name)
    {
        const QDBusMessage reply =
            m_bus.call(message(u"/StatusNotifierItem"_s, u"org.freedesktop.DBus.Properties"_s,
                               u"Get"_s, {u"org.kde.StatusNotifierItem"_s, name}));
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    QDBusMessage toMenu(const QString& method, const QVariantList& arguments)
    {
        return message(itemProperty(u"Menu"_s).value<QDBusObjectPath>().path(),
                       u"com.canonical.dbusmenu"_s, method, arguments);
    }
    // The menu's labels as the host shows them, hidden items and separators
    // left out, after "✓ " when checked; their ids in m_ids.
    QStringList layout()
    {
        m_ids.clear();
        const QDBusMessage reply = m_bus.call(toMenu(u"GetLayout"_s, {0, -1, QStringList()}));
        if (reply.arguments().size() != 2)
            return {reply.errorMessage()};
        // The root (ia{sv}av), whose children are the items.
        const auto root = qvariant_cast<QDBusArgument>(reply.arguments().at(1));
        int id = 0;
        QVariantMap p;
        root.beginStructure();
        root >> id >> p;
        root.beginArray();
        QStringList items;
        while (!root.atEnd()) {
            const auto item =
                qvariant_cast<QDBusArgument>(qdbus_cast<QDBusVariant>(root).variant());
            item.beginStructure();
            item >> id >> p;
            item.endStructure(); // frees the reader QtDBus allocates for it
            if (!p.value(u"visible"_s, true).toBool() || p.value(u"type"_s) == u"separator"_s)
                continue;
            // "_" marks the access key, "__" is an underscore.
            static const QRegularExpression accessKey(u"_(.?)"_s);
            const QString label = p.value(u"label"_s).toString().replace(accessKey, u"\\1"_s);
            items << (p.value(u"toggle-state"_s).toInt() == 1 ? u"✓ "_s : QString()) + label;
            m_ids << id;
        }
        root.endArray();
        root.endStructure();
        return items;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_bus.registerObject(u"/StatusNotifierWatcher"_s, &m_watcher,
                                     QDBusConnection::ExportAllContents));
        QVERIFY(m_bus.registerService(u"org.kde.StatusNotifierWatcher"_s));
        QFile list(QFileInfo(qEnvironmentVariable("OVRIN")).dir().filePath(u"../lib/ovrin"_s) +
                   u"/channels.json"_s);
        QVERIFY(list.open(QIODevice::ReadOnly));
        for (const QJsonValue channel :
             QJsonDocument::fromJson(list.readAll())["channels"_L1].toArray())
            m_channels << channel["name"_L1].toString();
        m_app.setProcessChannelMode(QProcess::ForwardedChannels);
        QVERIFY(launch());
    }

    void itemAndMenu()
    {
        QCOMPARE(itemProperty(u"Title"_s).toString(), u"Оврин"_s);
        // a(iiay): width, height and ARGB32 in network byte order, per size;
        // the heights of those drawn at all, in a buffer of the size they say.
        const auto pixmaps = qvariant_cast<QDBusArgument>(itemProperty(u"IconPixmap"_s));
        QList<int> inked;
        pixmaps.beginArray();
        while (!pixmaps.atEnd()) {
            int width = 0, height = 0;
            QByteArray argb;
            pixmaps.beginStructure();
            pixmaps >> width >> height >> argb;
            pixmaps.endStructure();
            if (argb.size() == qsizetype(width) * height * 4 && argb.count('\0') < argb.size())
                inked << height;
        }
        pixmaps.endArray();
        // A 1× and a 2× picture of one size at least.
        QVERIFY2(
            std::any_of(inked.cbegin(), inked.cend(), [&](int h) { return inked.contains(2 * h); }),
            qPrintable(QDebug::toString(inked)));

        // Connected through the helper, which desktop.sh has installed. Nobody
        // has opened the menu: it follows the state by itself.
        QCOMPARE(QProcess::execute(qEnvironmentVariable("OVRINCTL"), {u"connect"_s, u"0"_s}), 0);
        const QStringList top =
            QStringList{u"Подключено: "_s + m_channels.at(0), u"✓ "_s + m_channels.at(0)} +
            m_channels.mid(1);
        QTRY_COMPARE_WITH_TIMEOUT(layout().mid(0, top.size()), top, patience);
    }

    void quitFromTheMenu()
    {
        for (int round = 1; round <= qEnvironmentVariableIntValue("OVRIN_DESKTOP_REPEAT");
             ++round) {
            if (m_app.state() == QProcess::NotRunning)
                QVERIFY(launch());
            // Once the menu lists the channels, its items keep their ids.
            QTRY_VERIFY_WITH_TIMEOUT(layout().size() > m_channels.size() + 1, patience);
            QCOMPARE(QProcess::execute(qEnvironmentVariable("OVRINCTL"), {u"connect"_s, u"0"_s}),
                     0);
            QCOMPARE(layout().constLast(), u"Выйти и отключить"_s);
            // Sent as a host sends it, without waiting for the answer of a
            // program that is about to end.
            QVERIFY(m_bus.send(toMenu(u"Event"_s, {m_ids.constLast(), u"clicked"_s,
                                                   QVariant::fromValue(QDBusVariant(0)),
                                                   uint(QDateTime::currentSecsSinceEpoch())})));
            QTRY_VERIFY2_WITH_TIMEOUT(m_app.state() == QProcess::NotRunning,
                                      qPrintable(u"still running in round %1"_s.arg(round)), 6000);
            QVERIFY(m_app.exitStatus() == QProcess::NormalExit && m_app.exitCode() == 0);
        }
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTEST_SET_MAIN_SOURCE_PATH
    const QByteArray role = argc == 2 ? argv[1] : "";
    if (role == "sni")
        return QTest::qExec(std::make_unique<DesktopSni>().get(), 1, argv);
    if (role == "qr" || role == "code")
        return newDevice(role);
    return QTest::qExec(std::make_unique<Journeys>().get(), argc, argv);
}

#include "tst_Journeys.moc"
