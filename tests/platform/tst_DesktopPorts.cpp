// The desktop's ports: the autostart entry, the connected VPNs through
// Core's scan, the computer's name, and the Qt dialogs. The D-Bus cases
// register a NetworkManager and a file manager, so they run only on a bus
// of the test's own (OVRIN_PRIVATE_BUS, set where CTest starts
// dbus-run-session).
#include "FakeDialogs.h"
#include "FakeLoginItem.h"
#include "FakePorts.h"
#include "FakeSystemLog.h"
#include "core/Core.h"
#include "platform/ModalDepth.h"
#include "platform/desktop/MachineInfoIdentity.h"
#include "platform/desktop/NetworkManagerVpns.h"
#include "platform/desktop/QtDialogs.h"
#include "platform/desktop/XdgLoginItem.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

class CoreProbe {
public:
    // Starts a scan; the list so far.
    static QStringList scan(Core& core) { return core.refreshParallelVPNs(), core.parallelVPNs(); }
    static bool scanning(const Core& core) { return core.m_vpnScanRunning; }
};

// NetworkManager on the test session bus, on a connection of its own, so
// that calls and signals pass through the bus daemon: the manager's
// ActiveConnections, an object per active connection (its own settings too)
// and the PropertiesChanged signals for the list and for a state.
class FakeNetworkManager final : public QDBusVirtualObject {
public:
    // By the path's last segment: the name, type, plugin's service type,
    // interface and state (when not given 2: activated).
    QMap<QString, QStringList> active;

    FakeNetworkManager()
    {
        qDBusRegisterMetaType<QList<QDBusObjectPath>>();
        qDBusRegisterMetaType<QMap<QString, QVariantMap>>();
        m_bus.registerVirtualObject(root, this, QDBusConnection::SubPath);
        m_bus.registerService(service);
    }
    ~FakeNetworkManager() override
    {
        m_bus.unregisterObject(root);
        QDBusConnection::disconnectFromBus(u"fake-network-manager"_s);
    }

    // The signal of a change to the list, or to the state of `connection`.
    void announce(const QString& connection = {})
    {
        const bool list = connection.isEmpty();
        QDBusMessage signal = QDBusMessage::createSignal(list ? root : root + u'/' + connection,
                                                         u"org.freedesktop.DBus.Properties"_s,
                                                         u"PropertiesChanged"_s);
        signal << (list ? service : service + u".Connection.Active"_s)
               << (list ? QVariantMap{{u"ActiveConnections"_s, paths()}}
                        : QVariantMap{{u"State"_s, state(active[connection])}});
        m_bus.send(signal << QStringList());
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const QString member = message.member();
        const QStringList c = active.value(message.path().section(u'/', -1));
        const auto settings = QVariant::fromValue(QDBusObjectPath(message.path()));
        QVariant reply;
        if (member == u"Get" && message.path() == root)
            reply = QVariant::fromValue(QDBusVariant(paths()));
        else if (member == u"GetAll" && !c.isEmpty())
            reply = QVariantMap{{u"Id"_s, c.value(0)},
                                {u"Type"_s, c.value(1)},
                                {u"State"_s, state(c)},
                                {u"Connection"_s, settings}};
        else if (member == u"GetSettings" && !c.isEmpty())
            reply = QVariant::fromValue(
                QMap<QString, QVariantMap>{{u"connection"_s, {{u"interface-name"_s, c.value(3)}}},
                                           {u"vpn"_s, {{u"service-type"_s, c.value(2)}}}});
        else
            return connection.send(message.createErrorReply(QDBusError::UnknownObject, {}));
        return connection.send(message.createReply(reply));
    }

private:
    const QString service = u"org.freedesktop.NetworkManager"_s;
    const QString root = u"/org/freedesktop/NetworkManager"_s;

    static uint state(const QStringList& c) { return c.value(4, u"2"_s).toUInt(); }

    QVariant paths() const
    {
        QList<QDBusObjectPath> list;
        for (const QString& connection : active.keys())
            list << QDBusObjectPath(root + u'/' + connection);
        return QVariant::fromValue(list);
    }

    QDBusConnection m_bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-network-manager"_s);
};

// Stands in for the desktop's file manager.
class FileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList shown;

public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString&) { shown += uris; }
};

class DesktopPortsTest : public QObject {
    Q_OBJECT

    QList<QUrl> m_opened;
    ModalDepth m_modal;

    static bool write(const QString& root, const QMap<QString, QByteArray>& files)
    {
        for (const auto& [name, content] : files.asKeyValueRange()) {
            QFile f(root + u'/' + name);
            if (!QDir().mkpath(QFileInfo(f).path()) || !f.open(QIODevice::WriteOnly) ||
                f.write(content) != content.size())
                return false;
        }
        return true;
    }

    // Runs `act` on the modal widget of type T once it is open.
    template <typename T>
    static void whenOpen(std::function<void(T*)> act)
    {
        QTimer::singleShot(10, qApp, [act] {
            if (auto* widget = qobject_cast<T*>(QApplication::activeModalWidget()))
                act(widget);
            else
                whenOpen(act);
        });
    }

public Q_SLOTS:
    void openUrl(const QUrl& url) { m_opened.append(url); }

private Q_SLOTS:
    // The D-Bus cases own names on the session bus.
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("OVRIN_PRIVATE_BUS"),
                 "run it on a session bus of its own, as CTest does");
        QDesktopServices::setUrlHandler(u"file"_s, this, "openUrl");
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(u"file"_s); }

    void autostartEntry_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("folderIsFile");
        QTest::addColumn<std::optional<QString>>("exec"); // nothing: refused
        QTest::newRow("spaces, Cyrillic") << u"/opt/Мои программы/ovrin"_s << false
                                          << std::optional(u"\"/opt/Мои программы/ovrin\""_s);
        QTest::newRow("quote, backslash, $, `, %")
            << u"/100% \"a\\b$c`d"_s << false
            << std::optional(u"\"/100%% \\\\\"a\\\\\\\\b\\\\$c\\\\`d\""_s);
        QTest::newRow("newline") << u"/a\nb"_s << false << std::optional<QString>();
        QTest::newRow("empty") << QString() << false << std::optional<QString>();
        QTest::newRow("folder is a file") << u"/x"_s << true << std::optional<QString>();
    }

    // The entry written for the program, read back as enabled, and removed.
    void autostartEntry()
    {
        QFETCH(QString, program);
        QFETCH(bool, folderIsFile);
        QFETCH(std::optional<QString>, exec);
        QTemporaryDir home;
        const QString folder = home.filePath(u"autostart"_s);
        QVERIFY(!folderIsFile || write(home.path(), {{u"autostart"_s, {}}}));
        XdgLoginItem item(folder, program);
        QCOMPARE(item.registerItem().has_value(), !exec);
        QCOMPARE(item.isEnabled(), exec.has_value());
        QFile entry(item.entryPath());
        if (exec) {
            QVERIFY(entry.open(QIODevice::ReadOnly));
            QVERIFY(entry.readAll().contains(u"\nExec=%1\n"_s.arg(*exec).toUtf8()));
            QCOMPARE(item.unregisterItem(), std::nullopt);
        }
        QVERIFY(!entry.exists() && !item.isEnabled());
    }

    void enabled_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("enabled");
        const QByteArray valid = "[Desktop Entry]\nType=Application\nName=Оврин\nExec=\"/x\"\n";
        QTest::newRow("comments, group after") << "#\n\n" + valid + "[A]\nHidden=true\n" << true;
        QTest::newRow("hidden") << valid + "Hidden=true\n" << false;
        QTest::newRow("hidden false") << valid + "Hidden=false\n" << true;
        QTest::newRow("no Exec") << QByteArray(valid).replace("Exec", "#Exec") << false;
        QTest::newRow("a link") << QByteArray(valid).replace("Application", "Link") << false;
        QTest::newRow("other group first") << "[Other]\nA=b\n" + valid << false;
        QTest::newRow("not UTF-8") << QByteArray(valid).replace("Оврин", "\xff\xfe") << false;
    }

    void enabled()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir folder;
        QVERIFY(write(folder.path(), {{u"org.ovrin.menubarapp.desktop"_s, content}}));
        QTEST(XdgLoginItem(folder.path(), u"/x"_s).isEnabled(), "enabled");
    }

    void defaultFolder()
    {
        const QString home = QDir::homePath() + u"/.config/autostart"_s;
        for (const auto& [config, folder] :
             {std::pair{"/etc/xdg-test", u"/etc/xdg-test/autostart"_s},
              {"config", home},
              {"", home}}) {
            qputenv("XDG_CONFIG_HOME", config);
            QCOMPARE(XdgLoginItem::defaultFolder(), folder);
        }
    }

    // The computer's name from /etc/machine-info and the host name.
    void deviceNames_data()
    {
        QTest::addColumn<QByteArray>("machineInfo");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("name");
        const QByteArray pretty = "PRETTY_HOSTNAME=";
        QTest::newRow("quoted") << "A=b\n" + pretty + "\"Дом Анны\"\n" << u"h"_s << u"Дом Анны"_s;
        QTest::newRow("escapes") << pretty + "\"A\\'s \\\"PC\\\"\"" << u"h"_s << u"A's \"PC\""_s;
        QTest::newRow("unquoted") << pretty + "Workstation" << u"h"_s << u"Workstation"_s;
        QTest::newRow("empty pretty name") << pretty + "\"\"" << u"anna-pc"_s << u"anna-pc"_s;
        QTest::newRow("nothing") << QByteArray() << QString() << u"Mac"_s;
        QTest::newRow("localhost") << QByteArray() << u"localhost"_s << u"Mac"_s;
    }

    void deviceNames()
    {
        QFETCH(QByteArray, machineInfo);
        QFETCH(QString, host);
        QTEST(MachineInfoIdentity::nameFrom(machineInfo, host), "name");
    }

    // Core's list: WireGuard and tun/tap interfaces other than the helper's
    // own and those of NetworkManager's connections, and NetworkManager's
    // activated VPNs, followed from its signals. No scan starts a process.
    void connectedVpns()
    {
        auto manager = std::make_unique<FakeNetworkManager>();
        QTemporaryDir net;
        const QByteArray wireguard = "DEVTYPE=wireguard\nINTERFACE=wg\n";
        QVERIFY(write(net.path(), {{u"wg0/type"_s, "65534\n"},
                                   {u"wg0/uevent"_s, wireguard},
                                   {u"tun0/tun_flags"_s, "0x1001\n"},
                                   {u"ovrin0/tun_flags"_s, "0x1001\n"},
                                   {u"ip0/type"_s, "65534\n"}}));
        NetworkManagerVpns vpns(QDBusConnection::sessionBus(), net.path());
        FakeDialogs dialogs;
        FakeLoginItem loginItem;
        FakeSystemLog log;
        CorePorts ports = fakePorts(dialogs, loginItem, log);
        ports.vpns = &vpns;
        Core core(std::move(ports));
        const QStringList tunnels{u"tun0"_s, u"wg0"_s};
        QTRY_COMPARE(CoreProbe::scan(core), tunnels);

        manager->active = {
            {u"1"_s, {u"Office"_s, u"vpn"_s, u"org.freedesktop.NetworkManager.openvpn"_s}},
            {u"2"_s, {u"Оврин"_s, u"vpn"_s, u"org.ovrin.menubarapp"_s}},
            {u"3"_s, {u"Дом"_s, u"wireguard"_s, {}, u"wg0"_s}},
            {u"4"_s, {u"LAN"_s, u"802-3-ethernet"_s}},
            {u"5"_s, {u"Paris"_s, u"vpn"_s, u"l2tp"_s, {}, u"1"_s}}}; // activating
        manager->announce();
        const QStringList others{u"tun0"_s, u"Дом"_s}; // wg0 is Дом's
        QTRY_COMPARE_WITH_TIMEOUT(CoreProbe::scan(core), QStringList{u"Office"_s} + others, 10000);
        manager->active[u"5"_s][4] = u"2"_s;
        manager->announce(u"5"_s);
        QTRY_COMPARE_WITH_TIMEOUT(CoreProbe::scan(core),
                                  QStringList({u"Office"_s, u"Paris"_s}) + others, 10000);
        manager->active.remove(u"1"_s);
        manager->announce();
        QTRY_COMPARE_WITH_TIMEOUT(CoreProbe::scan(core), QStringList{u"Paris"_s} + others, 10000);
        manager.reset(); // leaves the bus
        QTRY_COMPARE_WITH_TIMEOUT(CoreProbe::scan(core), tunnels, 10000);

        // A scan that cannot read the interface folder keeps the list.
        QTRY_VERIFY(!CoreProbe::scanning(core));
        QVERIFY(QDir(net.path()).removeRecursively());
        CoreProbe::scan(core);
        QTRY_VERIFY(!CoreProbe::scanning(core));
        QCOMPARE(core.parallelVPNs(), tunnels);

        // No child process has ended in this program: none was started.
        struct rusage children = {};
        QCOMPARE(::getrusage(RUSAGE_CHILDREN, &children), 0);
        QCOMPARE(children.ru_maxrss, 0L);
    }

    void alert_data()
    {
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<int>("press"); // a button's index, or a key
        QTest::addColumn<int>("answer");
        const QStringList confirm{u"Включить"_s, u"Отмена"_s};
        QTest::newRow("acknowledge") << QStringList() << 0 << 0;
        QTest::newRow("cancel") << confirm << 1 << 1;
        QTest::newRow("Return") << confirm << int(Qt::Key_Return) << 0;
        QTest::newRow("Escape") << confirm << int(Qt::Key_Escape) << 1;
        QTest::newRow("Escape, acknowledge") << QStringList() << int(Qt::Key_Escape) << 0;
    }

    // An alert opens over the window in front with the modal depth raised,
    // and never reads its texts as markup: a name
    // chosen by another device must not hide the warning after it or carry
    // a live link.
    void alert()
    {
        QFETCH(QStringList, buttons);
        QFETCH(int, press);
        QWidget window(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint);
        window.show();
        const QString message = u"<b>Подтвердить</b>"_s;
        const QString informative =
            u"<a href='file:///etc/passwd'>Mac</a><!--\nПодтверждайте только QR с экрана"_s;
        QWidget* parent = nullptr;
        bool onTop = false, blocked = false;
        QStringList texts;
        whenOpen<QMessageBox>([&](QMessageBox* box) {
            parent = box->parentWidget();
            onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            blocked = m_modal.blocked();
            for (const QLabel* label : box->findChildren<QLabel*>()) {
                if (label->textFormat() == Qt::PlainText && !label->openExternalLinks())
                    texts << label->text();
            }
            if (press < Qt::Key_Escape)
                box->buttons().at(press)->click();
            else
                QTest::keyClick(box, Qt::Key(press));
        });
        QTEST(QtDialogs(m_modal).alert(message, informative, buttons), "answer");
        QCOMPARE(parent, &window);
        QVERIFY(onTop && blocked && !m_modal.blocked());
        QVERIFY(texts.contains(message) && texts.contains(informative));
    }

    // The name typed in the panel, and the file it gives (nothing: cancelled).
    void savePanel_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<std::optional<QString>>("file");
        QTest::newRow("as suggested") << QString() << std::optional(u"Оврин-журналы.zip"_s);
        QTest::newRow("other suffix") << u"журнал.txt"_s << std::optional(u"журнал.txt.zip"_s);
        QTest::newRow("upper case") << u"Архив.ZIP"_s << std::optional(u"Архив.ZIP"_s);
        QTest::newRow("cancelled") << QString() << std::optional<QString>();
    }

    void savePanel()
    {
        QFETCH(QString, typed);
        QFETCH(std::optional<QString>, file);
        QTemporaryDir folder;
        whenOpen<QFileDialog>([&](QFileDialog* dialog) {
            if (!typed.isEmpty())
                dialog->findChild<QLineEdit*>(u"fileNameEdit"_s)->setText(typed);
            if (file)
                static_cast<QDialog*>(dialog)->accept(); // public there
            else
                dialog->reject();
        });
        const auto got = QtDialogs(m_modal).savePanel(u"Экспорт"_s, u"Оврин-журналы.zip"_s,
                                                      folder.path(), u"ZIP (*.zip)"_s);
        QCOMPARE(got, file ? std::optional(folder.filePath(*file)) : std::nullopt);
    }

    // Through the file manager on the bus, else by opening the folder.
    void reveal()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        FileManager manager;
        QVERIFY(bus.registerObject(u"/org/freedesktop/FileManager1"_s, &manager,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(u"org.freedesktop.FileManager1"_s));
        m_opened.clear();
        QtDialogs(m_modal, bus).reveal(u"/tmp/Мои журналы/a b.zip"_s);
        QTRY_COMPARE(manager.shown,
                     QStringList{u"file:///tmp/%D0%9C%D0%BE%D0%B8%20%D0%B6%D1%83%D1%80%D0%BD%D0%B0"
                                 u"%D0%BB%D1%8B/a%20b.zip"_s});
        QVERIFY(m_opened.isEmpty());
        bus.unregisterService(u"org.freedesktop.FileManager1"_s);

        QtDialogs(m_modal, bus).reveal(u"/tmp/Мои журналы/a b.zip"_s);
        QTRY_COMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(u"/tmp/Мои журналы"_s)});
    }
};

QTEST_MAIN(DesktopPortsTest)
#include "tst_DesktopPorts.moc"
