// What the desktop's ports read from the system: the connected VPNs (the
// tunnel interfaces, and Core's scan over NetworkManager's signals) and the
// computer's name; the resource folder.
#include "FakeDialogs.h"
#include "FakeLoginItem.h"
#include "FakeNetworkManager.h"
#include "FakePorts.h"
#include "FakeSystemLog.h"
#include "core/Core.h"
#include "platform/ResourceFolder.h"
#include "platform/desktop/MachineInfoIdentity.h"
#include "platform/desktop/NetworkManagerVpns.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

using Files = QMap<QString, QByteArray>;

class CoreProbe {
public:
    static void scan(Core& core) { core.refreshParallelVPNs(); }
    static bool scanning(const Core& core) { return core.m_vpnScanRunning; }
};

class NetworkManagerVpnsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void interfaces_data()
    {
        QTest::addColumn<Files>("files"); // under the interface folder "net"
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("managed"); // NetworkManager's WireGuard interfaces
        QTest::addColumn<std::optional<QString>>("output");
        const Files wireguard{{u"net/wg0/type"_s, "65534\n"},
                              {u"net/wg0/uevent"_s, "DEVTYPE=wireguard\nINTERFACE=wg0\n"}};
        const Files tun{{u"net/tun0/type"_s, "65534\n"}, {u"net/tun0/tun_flags"_s, "0x1001\n"}};
        const Files tap{{u"net/tap0/type"_s, "1\n"}, {u"net/tap0/tun_flags"_s, "0x1002\n"}};
        const Files ethernet{{u"net/eth0/type"_s, "1\n"},
                             {u"net/eth0/uevent"_s, "INTERFACE=eth0\n"},
                             {u"net/bonding_masters"_s, ""}};
        const Files untyped{{u"net/ip0/type"_s, "65534\n"},
                            {u"net/ip0/uevent"_s, "INTERFACE=ip0\n"}};
        const auto both = [](Files a, const Files& b) {
            a.insert(b);
            return a;
        };

        QTest::newRow("WireGuard")
            << wireguard << u"net"_s << QStringList()
            << std::optional(uR"(* (Connected) wg0 VPN (wireguard) "wg0")"_s);
        QTest::newRow("tun and tap")
            << both(tun, tap) << u"net"_s << QStringList()
            << std::optional<QString>(uR"(* (Connected) tap0 VPN (tun) "tap0")"_s + u'\n' +
                                      uR"(* (Connected) tun0 VPN (tun) "tun0")"_s);
        QTest::newRow("other interfaces")
            << both(ethernet, untyped) << u"net"_s << QStringList() << std::optional(QString());
        QTest::newRow("our own tunnel")
            << Files{{u"net/ovrin0/type"_s, "65534\n"}, {u"net/ovrin0/tun_flags"_s, "0x1001\n"}}
            << u"net"_s << QStringList() << std::optional(QString());
        QTest::newRow("WireGuard of NetworkManager's")
            << wireguard << u"net"_s << QStringList{u"wg0"_s} << std::optional(QString());
        QTest::newRow("no folder")
            << wireguard << u"absent"_s << QStringList() << std::optional<QString>();
    }

    void interfaces()
    {
        QFETCH(Files, files);
        QFETCH(QString, folder);
        QFETCH(QStringList, managed);
        QFETCH(std::optional<QString>, output);
        QTemporaryDir root;
        for (auto file = files.cbegin(); file != files.cend(); ++file) {
            QVERIFY(QDir(root.path()).mkpath(QFileInfo(root.filePath(file.key())).path()));
            QFile f(root.filePath(file.key()));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(file.value());
        }
        const NetworkManagerVpns::Snapshot snapshot{{}, managed, root.filePath(folder)};
        QCOMPARE(snapshot.output(), output);
    }

    // Core's list follows NetworkManager's signals and the interface folder;
    // no scan starts a process or asks the bus.
    void followsNetworkManager()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(),
                 "no session bus: run the tests through ./test.sh (dbus-run-session)");
        auto manager = std::make_unique<FakeNetworkManager>();
        QVERIFY(manager->isServing());
        QTemporaryDir tunnels;
        for (const QString& name : {u"wg0"_s, u"wg7"_s}) {
            QFile flags(tunnels.filePath(name + u"/tun_flags"_s));
            QVERIFY(QDir(tunnels.path()).mkdir(name) && flags.open(QIODevice::WriteOnly));
        }
        NetworkManagerVpns vpns(QDBusConnection::sessionBus(), tunnels.path());
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
        QTRY_COMPARE(scanned(), (QStringList{u"wg0"_s, u"wg7"_s}));

        const QString office =
            manager->add({.id = u"Office"_s,
                          .type = u"vpn"_s,
                          .serviceType = u"org.freedesktop.NetworkManager.openvpn"_s});
        manager->add(
            {.id = u"Оврин"_s, .type = u"vpn"_s, .serviceType = u"org.ovrin.menubarapp"_s});
        manager->add({.id = u"Дом"_s, .type = u"wireguard"_s, .interfaceName = u"wg7"_s});
        manager->add({.id = u"LAN"_s, .type = u"802-3-ethernet"_s});
        const QString paris =
            manager->add({.id = u"Paris"_s,
                          .type = u"vpn"_s,
                          .state = 1, // activating
                          .serviceType = u"org.freedesktop.NetworkManager.l2tp"_s});
        QTRY_COMPARE_WITH_TIMEOUT(scanned(), (QStringList{u"Office"_s, u"wg0"_s, u"Дом"_s}), 10000);
        manager->setState(paris, 2);
        manager->remove(office);
        QTRY_COMPARE_WITH_TIMEOUT(scanned(), (QStringList{u"Paris"_s, u"wg0"_s, u"Дом"_s}), 10000);
        manager.reset(); // leaves the bus
        QTRY_COMPARE_WITH_TIMEOUT(scanned(), (QStringList{u"wg0"_s, u"wg7"_s}), 10000);

        // A scan that cannot read the interface folder keeps the list.
        QTRY_VERIFY(!CoreProbe::scanning(core));
        QVERIFY(QDir(tunnels.path()).removeRecursively());
        CoreProbe::scan(core);
        QTRY_VERIFY(!CoreProbe::scanning(core));
        QCOMPARE(core.parallelVPNs(), (QStringList{u"wg0"_s, u"wg7"_s}));

        // No child process has ended in this program: none was started.
        struct rusage children = {};
        QCOMPARE(::getrusage(RUSAGE_CHILDREN, &children), 0);
        QCOMPARE(children.ru_maxrss, 0L);
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
        QTest::newRow("host name only") << QByteArray() << u"anna-pc"_s << u"anna-pc"_s;
        QTest::newRow("nothing") << QByteArray() << QString() << u"Mac"_s;
        QTest::newRow("localhost") << QByteArray() << u"localhost"_s << u"Mac"_s;
    }

    void deviceNames()
    {
        QFETCH(QByteArray, machineInfo);
        QFETCH(QString, host);
        QTEST(MachineInfoIdentity::nameFrom(machineInfo, host), "name");
    }

    // The test programs run from <build>/tests; the resources are in
    // <build>/lib/ovrin, as in an install.
    void resourceFolderBesideTheProgram()
    {
        QCOMPARE(ResourceFolder::find(), std::optional(QStringLiteral(OVRIN_TEST_RESOURCE_DIR)));
    }
};

QTEST_GUILESS_MAIN(NetworkManagerVpnsTest)
#include "tst_NetworkManagerVpns.moc"
