// Which other VPNs are connected: the list's parsing, and Core's scan over
// NetworkManager's signals and the interface folder.
#include "FakeDialogs.h"
#include "FakeLoginItem.h"
#include "FakeNetworkManager.h"
#include "FakePorts.h"
#include "FakeSystemLog.h"
#include "FakeVpns.h"
#include "core/Core.h"
#include "core/VpnList.h"
#include "platform/AppIdentity.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class CoreProbe {
public:
    static void scan(Core& core) { core.refreshParallelVPNs(); }
    static bool scanning(const Core& core) { return core.m_vpnScanRunning; }
    // True once the scan queue has nothing left to run, within `ms`.
    static bool drained(Core& core, int ms) { return core.m_vpnQueue.waitForDone(ms); }
};

class VpnListTest : public QObject {
    Q_OBJECT

    FakeDialogs m_dialogs;
    FakeLoginItem m_loginItem;
    FakeSystemLog m_log;

    CorePorts ports(NetworkManagerVpns* vpns)
    {
        CorePorts p = fakePorts(m_dialogs, m_loginItem, m_log);
        p.vpns = vpns;
        return p;
    }

private Q_SLOTS:
    void connectedNames_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<std::optional<QString>>("own");
        QTest::addColumn<QStringList>("names");
        const std::optional<QString> ours = AppIdentity::bundleIdentifier();
        const QString office = uR"(* (Connected) 1A2B-3C VPN (provider-one) "Office" [PPP:L2TP])"_s;

        QTest::newRow("remark after the name") << office << ours << QStringList{u"Office"_s};
        QTest::newRow("own provider left out")
            << uR"(* (Connected) 1A2B VPN (org.ovrin.menubarapp) "Office" [VPN])"_s << ours
            << QStringList{};
        QTest::newRow("own provider counted when unknown")
            << uR"(* (Connected) 1A2B VPN (org.ovrin.menubarapp) "Office")"_s
            << std::optional<QString>() << QStringList{u"Office"_s};
        QTest::newRow("duplicates once")
            << office + u'\n' + office << ours << QStringList{u"Office"_s};
        QTest::newRow("sorted by character code") << uR"(* (Connected) 1 VPN (p) "b"
* (Connected) 2 VPN (p) "A"
  (Connected) 3 VPN (p) "a")"_s << ours << QStringList{u"A"_s, u"a"_s, u"b"_s};
        QTest::newRow("disconnected")
            << uR"(* (Disconnected) 1A2B VPN (provider-one) "Office")"_s << ours << QStringList{};
        QTest::newRow("CR LF")
            << u"* (Connected) 1 VPN (p) \"A\"\r\n* (Connected) 2 VPN (p) \"B\"\r\n"_s << ours
            << QStringList{u"A"_s, u"B"_s};
        QTest::newRow("every break character")
            << u"* (Connected) 1 VPN (p) \"A\"\u2028* (Connected) 2 VPN (p) \"B\"\u0085"
               u"* (Connected) 3 VPN (p) \"C\"\u2029* (Connected) 4 VPN (p) \"D\"\u000b"
               u"* (Connected) 5 VPN (p) \"E\"\f* (Connected) 6 VPN (p) \"F\""_s
            << ours << QStringList{u"A"_s, u"B"_s, u"C"_s, u"D"_s, u"E"_s, u"F"_s};
        QTest::newRow("Unicode spaces")
            << u"\u00a0*\u2003(Connected)\u3000Ид-1\u00a0VPN\u2009(p)\u202f\"Дом\""_s << ours
            << QStringList{u"Дом"_s};
        QTest::newRow("break inside a line splits it")
            << u"* (Connected) 1 VPN (p)\r\"A\""_s << ours << QStringList{};
        QTest::newRow("empty name") << uR"(* (Connected) 1 VPN (p) "")"_s << ours << QStringList{};
        QTest::newRow("not a VPN") << uR"(* (Connected) 1 PPP (p) "A")"_s << ours << QStringList{};
        QTest::newRow("nothing") << QString() << ours << QStringList{};
    }

    void connectedNames()
    {
        QFETCH(QString, output);
        QFETCH(std::optional<QString>, own);
        QFETCH(QStringList, names);
        QCOMPARE(connectedVPNNames(output, own), names);
    }

    // Core's list follows NetworkManager's signals and the interface folder;
    // no scan starts a process or asks the bus.
    void followsNetworkManager()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(),
                 "no session bus: run the tests through ./test.sh (dbus-run-session)");
        auto manager = std::make_unique<FakeNetworkManager>();
        QVERIFY(manager->isServing());
        FakeVpns tunnels; // only its folder
        QVERIFY(tunnels.list({u"wg0"_s, u"wg7"_s}));
        NetworkManagerVpns vpns(QDBusConnection::sessionBus(), tunnels.folder());
        Core core(ports(&vpns));
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
        QVERIFY(QDir(tunnels.folder()).removeRecursively());
        CoreProbe::scan(core);
        QTRY_VERIFY(!CoreProbe::scanning(core));
        QCOMPARE(core.parallelVPNs(), (QStringList{u"wg0"_s, u"wg7"_s}));

        // No child process has ended in this program: none was started.
        struct rusage children = {};
        QCOMPARE(::getrusage(RUSAGE_CHILDREN, &children), 0);
        QCOMPARE(children.ru_maxrss, 0L);
    }

    void scanSkippedWhileOneRuns()
    {
        // The scan reads the interface's type from a pipe and waits there
        // until the test writes it.
        FakeVpns tunnels;
        const QString wg0 = tunnels.folder() + u"/wg0"_s;
        QVERIFY(QDir().mkpath(wg0));
        QFile uevent(wg0 + u"/uevent"_s);
        QVERIFY(uevent.open(QIODevice::WriteOnly));
        QVERIFY(uevent.write("DEVTYPE=wireguard\n") > 0);
        uevent.close();
        const QByteArray type = QFile::encodeName(wg0 + u"/type"_s);
        QCOMPARE(::mkfifo(type.constData(), 0600), 0);
        // True once a scan waiting at the pipe has its answer.
        const auto release = [&type] {
            const int fd = ::open(type.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0)
                return false;
            const bool written = ::write(fd, "65534\n", 6) == 6;
            ::close(fd);
            return written;
        };

        Core core(ports(tunnels.port()));
        CoreProbe::scan(core);
        CoreProbe::scan(core);
        CoreProbe::scan(core);
        QVERIFY(QTest::qWaitFor(release, 10000));
        QTRY_COMPARE(core.parallelVPNs(), QStringList{u"wg0"_s});
        // A scan queued meanwhile would now wait at the pipe.
        const bool drained = CoreProbe::drained(core, 5000);
        while (!CoreProbe::drained(core, 100))
            release();
        QVERIFY2(drained, "a scan was queued while one ran");
        CoreProbe::scan(core);
        QVERIFY(QTest::qWaitFor(release, 10000));
        QTRY_VERIFY(!CoreProbe::scanning(core));
    }
};

QTEST_GUILESS_MAIN(VpnListTest)
#include "tst_VpnList.moc"
