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

#include <QApplication>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <functional>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

class CoreProbe {
public:
    static void scan(Core& core) { core.refreshParallelVPNs(); }
    static bool scanning(const Core& core) { return core.m_vpnScanRunning; }
};

// NetworkManager on the test session bus, on a connection of its own, so
// that calls and signals pass through the bus daemon as they do from the
// real one: the manager's ActiveConnections, an object per active
// connection, the settings each points at, and the PropertiesChanged signals
// NetworkManager sends when the list or a state changes.
class FakeNetworkManager final : public QDBusVirtualObject {
public:
    FakeNetworkManager()
    {
        qDBusRegisterMetaType<QList<QDBusObjectPath>>();
        qDBusRegisterMetaType<QMap<QString, QVariantMap>>();
        m_bus.registerVirtualObject(root, this, QDBusConnection::SubPath);
        m_bus.registerService(service);
    }

    ~FakeNetworkManager() override
    {
        m_bus.unregisterService(service);
        m_bus.unregisterObject(root);
        m_bus = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(u"fake-network-manager"_s);
    }

    // Activates a connection (state 2: activated); the path of its active
    // connection.
    QString add(const QString& id, const QString& type, const QString& serviceType = {},
                const QString& interfaceName = {}, uint state = 2)
    {
        m_active.insert(m_next, {id, type, serviceType, interfaceName, state});
        listChanged();
        return root + u"/ActiveConnection/"_s + QString::number(m_next++);
    }

    void setState(const QString& path, uint state)
    {
        m_active[numberOf(path)].state = state;
        changed(path, service + u".Connection.Active"_s, {{u"State"_s, state}});
    }

    void remove(const QString& path)
    {
        m_active.remove(numberOf(path));
        listChanged();
    }

    QString introspect(const QString&) const override { return {}; }

    // The settings and the active connection share a number.
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const QString member = message.member();
        const Connection c = m_active.value(numberOf(message.path()));
        QVariant reply;
        if (member == u"GetSettings" && !c.id.isEmpty()) {
            reply = QVariant::fromValue(QMap<QString, QVariantMap>{
                {u"connection"_s,
                 {{u"id"_s, c.id}, {u"type"_s, c.type}, {u"interface-name"_s, c.interfaceName}}},
                {u"vpn"_s, {{u"service-type"_s, c.serviceType}}}});
        } else if (member == u"GetAll" && !c.id.isEmpty()) {
            const QString settings = root + u"/Settings/"_s + message.path().section(u'/', -1);
            reply = QVariantMap{{u"Id"_s, c.id},
                                {u"Type"_s, c.type},
                                {u"State"_s, c.state},
                                {u"Vpn"_s, c.type == u"vpn"},
                                {u"Connection"_s, QVariant::fromValue(QDBusObjectPath(settings))}};
        } else if (member == u"Get" && message.path() == root) {
            reply = QVariant::fromValue(QDBusVariant(paths()));
        } else {
            return connection.send(
                message.createErrorReply(QDBusError::UnknownObject, message.path()));
        }
        return connection.send(message.createReply(reply));
    }

private:
    struct Connection {
        QString id, type, serviceType, interfaceName;
        uint state = 0;
    };

    const QString service = u"org.freedesktop.NetworkManager"_s;
    const QString root = u"/org/freedesktop/NetworkManager"_s;

    static int numberOf(const QString& path) { return path.section(u'/', -1).toInt(); }

    QVariant paths() const
    {
        QList<QDBusObjectPath> list;
        for (const int number : m_active.keys())
            list << QDBusObjectPath(root + u"/ActiveConnection/"_s + QString::number(number));
        return QVariant::fromValue(list);
    }

    void listChanged() { changed(root, service, {{u"ActiveConnections"_s, paths()}}); }

    void changed(const QString& path, const QString& interface, const QVariantMap& properties)
    {
        QDBusMessage signal = QDBusMessage::createSignal(path, u"org.freedesktop.DBus.Properties"_s,
                                                         u"PropertiesChanged"_s);
        signal << interface << properties << QStringList();
        m_bus.send(signal);
    }

    QDBusConnection m_bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-network-manager"_s);
    QMap<int, Connection> m_active;
    int m_next = 1;
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
        for (auto file = files.cbegin(); file != files.cend(); ++file) {
            QFile f(root + u'/' + file.key());
            if (!QDir().mkpath(QFileInfo(f).path()) || !f.open(QIODevice::WriteOnly) ||
                f.write(file.value()) != file.value().size())
                return false;
        }
        return true;
    }

    // Runs `act` on the modal widget of type T once it is open.
    template <typename T>
    static void whenOpen(std::function<void(T*)> act)
    {
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
            if (auto* widget = qobject_cast<T*>(QApplication::activeModalWidget())) {
                poll->deleteLater();
                poll->stop();
                act(widget);
            }
        });
        poll->start(10);
    }

public Q_SLOTS:
    void openUrl(const QUrl& url) { m_opened.append(url); }

private Q_SLOTS:
    void initTestCase() { QDesktopServices::setUrlHandler(u"file"_s, this, "openUrl"); }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(u"file"_s); }

    void autostartEntry_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("folderIsFile");
        QTest::addColumn<std::optional<QString>>("exec"); // nothing: refused
        QTest::newRow("spaces, Cyrillic") << u"/opt/Мои программы/ovrin"_s << false
                                          << std::optional(u"\"/opt/Мои программы/ovrin\""_s);
        QTest::newRow("double quote") << u"/a\"b"_s << false << std::optional(u"\"/a\\\\\"b\""_s);
        QTest::newRow("backslash") << u"/a\\b"_s << false << std::optional(u"\"/a\\\\\\\\b\""_s);
        QTest::newRow("dollar, backtick")
            << u"/a$b`c"_s << false << std::optional(u"\"/a\\\\$b\\\\`c\""_s);
        QTest::newRow("percent") << u"/100%/ovrin"_s << false
                                 << std::optional(u"\"/100%%/ovrin\""_s);
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
        QTest::newRow("comments, other group after")
            << "# ours\n\n" + valid + "[Desktop Action quit]\nHidden=true\n"
            << true;
        QTest::newRow("hidden") << valid + "Hidden=true\n" << false;
        QTest::newRow("hidden false") << valid + "Hidden=false\n" << true;
        QTest::newRow("no Exec") << QByteArray("[Desktop Entry]\nType=Application\nName=Оврин\n")
                                 << false;
        QTest::newRow("a link") << QByteArray("[Desktop Entry]\nType=Link\nName=O\nExec=x\n")
                                << false;
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

    void defaultFolder_data()
    {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QString>("folder");
        const QString home = QDir::homePath() + u"/.config/autostart"_s;
        QTest::newRow("set") << QByteArray("/etc/xdg-test") << u"/etc/xdg-test/autostart"_s;
        QTest::newRow("relative") << QByteArray("config") << home;
        QTest::newRow("empty") << QByteArray() << home;
    }

    void defaultFolder()
    {
        QFETCH(QByteArray, config);
        qputenv("XDG_CONFIG_HOME", config);
        QTEST(XdgLoginItem::defaultFolder(), "folder");
    }

    // The computer's name from /etc/machine-info and the host name.
    void deviceNames_data()
    {
        QTest::addColumn<QByteArray>("machineInfo");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("name");
        QTest::newRow("pretty name")
            << QByteArray("CHASSIS=laptop\nPRETTY_HOSTNAME=\"Ноутбук Анны\"\n") << u"anna-pc"_s
            << u"Ноутбук Анны"_s;
        QTest::newRow("escaped quote") << QByteArray("PRETTY_HOSTNAME=\"Anna\\'s \\\"PC\\\"\"")
                                       << u"h"_s << u"Anna's \"PC\""_s;
        QTest::newRow("unquoted") << QByteArray("PRETTY_HOSTNAME=Workstation") << u"h"_s
                                  << u"Workstation"_s;
        QTest::newRow("empty pretty name")
            << QByteArray("PRETTY_HOSTNAME=\"\"") << u"anna-pc"_s << u"anna-pc"_s;
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
        QVERIFY2(!qEnvironmentVariableIsEmpty("OVRIN_PRIVATE_BUS"),
                 "owns names on the session bus: run it on a bus of its own, as CTest does");
        auto manager = std::make_unique<FakeNetworkManager>();
        QTemporaryDir net;
        const QByteArray wireguard = "DEVTYPE=wireguard\nINTERFACE=wg\n";
        QVERIFY(write(net.path(), {{u"wg0/type"_s, "65534\n"},
                                   {u"wg0/uevent"_s, wireguard},
                                   {u"wg7/type"_s, "65534\n"},
                                   {u"wg7/uevent"_s, wireguard},
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
        const auto scanned = [&core] {
            CoreProbe::scan(core);
            return core.parallelVPNs();
        };
        const QStringList tunnels{u"tun0"_s, u"wg0"_s, u"wg7"_s};
        QTRY_COMPARE(scanned(), tunnels);

        const QString office =
            manager->add(u"Office"_s, u"vpn"_s, u"org.freedesktop.NetworkManager.openvpn"_s);
        manager->add(u"Оврин"_s, u"vpn"_s, u"org.ovrin.menubarapp"_s);
        manager->add(u"Дом"_s, u"wireguard"_s, {}, u"wg7"_s);
        manager->add(u"LAN"_s, u"802-3-ethernet"_s);
        const QString paris = manager->add(u"Paris"_s, u"vpn"_s, u"l2tp"_s, {}, 1); // activating
        QTRY_COMPARE_WITH_TIMEOUT(scanned(),
                                  (QStringList{u"Office"_s, u"tun0"_s, u"wg0"_s, u"Дом"_s}), 10000);
        manager->setState(paris, 2);
        manager->remove(office);
        QTRY_COMPARE_WITH_TIMEOUT(scanned(),
                                  (QStringList{u"Paris"_s, u"tun0"_s, u"wg0"_s, u"Дом"_s}), 10000);
        manager.reset(); // leaves the bus
        QTRY_COMPARE_WITH_TIMEOUT(scanned(), tunnels, 10000);

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
        QTest::newRow("action") << confirm << 0 << 0;
        QTest::newRow("cancel") << confirm << 1 << 1;
        QTest::newRow("Return") << confirm << int(Qt::Key_Return) << 0;
        QTest::newRow("Escape") << confirm << int(Qt::Key_Escape) << 1;
        QTest::newRow("Escape, acknowledge") << QStringList() << int(Qt::Key_Escape) << 0;
    }

    // An alert opens over the window in front with the modal depth raised
    // (queued work still runs), and never reads its texts as markup: a name
    // chosen by another device must not hide the warning after it or carry
    // a live link.
    void alert()
    {
        QFETCH(QStringList, buttons);
        QFETCH(int, press);
        QWidget window(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint);
        window.show();
        bool handedOver = false;
        QMetaObject::invokeMethod(
            this, [&] { handedOver = true; }, Qt::QueuedConnection);
        const QString message = u"<b>Подтвердить</b>"_s;
        const QString informative =
            u"<a href='file:///etc/passwd'>Mac</a><!--\nПодтверждайте только QR с экрана"_s;
        QWidget* parent = nullptr;
        bool onTop = false, plain = true, blocked = false, ranMeanwhile = false;
        QStringList texts;
        whenOpen<QMessageBox>([&](QMessageBox* box) {
            parent = box->parentWidget();
            onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            blocked = m_modal.blocked();
            ranMeanwhile = handedOver;
            for (const QLabel* label : box->findChildren<QLabel*>()) {
                texts << label->text();
                plain =
                    plain && label->textFormat() == Qt::PlainText && !label->openExternalLinks();
            }
            if (press < Qt::Key_Escape)
                box->buttons().at(press)->click();
            else
                QTest::keyClick(box, Qt::Key(press));
        });
        QTEST(QtDialogs(m_modal).alert(message, informative, buttons), "answer");
        QCOMPARE(parent, &window);
        QVERIFY(onTop && plain && blocked && ranMeanwhile);
        QVERIFY(texts.contains(message) && texts.contains(informative));
        QVERIFY(!m_modal.blocked());
    }

    void savePanel_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("accepted") << true;
        QTest::newRow("cancelled") << false;
    }

    void savePanel()
    {
        QFETCH(bool, accept);
        QTemporaryDir folder;
        whenOpen<QFileDialog>([accept](QFileDialog* dialog) {
            if (accept)
                static_cast<QDialog*>(dialog)->accept(); // public there
            else
                dialog->reject();
        });
        const QString name = u"Оврин-журналы.zip"_s;
        QCOMPARE(QtDialogs(m_modal).savePanel(u"Экспорт"_s, name, folder.path(), u"ZIP (*.zip)"_s),
                 accept ? std::optional(folder.filePath(name)) : std::nullopt);
    }

    void suffix_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::newRow("none") << u"/d/журнал"_s << u"/d/журнал.zip"_s;
        QTest::newRow("other") << u"/d/журнал.txt"_s << u"/d/журнал.txt.zip"_s;
        QTest::newRow("upper case") << u"/d/Архив.ZIP"_s << u"/d/Архив.ZIP"_s;
        QTest::newRow("dot folder") << u"/d.zip/журнал"_s << u"/d.zip/журнал.zip"_s;
    }

    void suffix()
    {
        QFETCH(QString, typed);
        QTEST(QtDialogs::withSuffix(typed, u"zip"_s), "written");
    }

    // Through the file manager on the bus, else by opening the folder.
    void reveal()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("OVRIN_PRIVATE_BUS"),
                 "owns names on the session bus: run it on a bus of its own, as CTest does");
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
        bus.unregisterObject(u"/org/freedesktop/FileManager1"_s);

        QtDialogs(m_modal, bus).reveal(u"/tmp/Мои журналы/a b.zip"_s);
        QTRY_COMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(u"/tmp/Мои журналы"_s)});
    }
};

QTEST_MAIN(DesktopPortsTest)
#include "tst_DesktopPorts.moc"
