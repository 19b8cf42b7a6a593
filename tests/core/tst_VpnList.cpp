// Which other VPNs are connected: the list's parsing, and Core's scan.
#include "FakeDialogs.h"
#include "FakeLoginItem.h"
#include "FakePorts.h"
#include "FakeSystemLog.h"
#include "FakeVpns.h"
#include "core/Core.h"
#include "core/VpnList.h"
#include "platform/AppIdentity.h"

#include <QTest>

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

    CorePorts ports(ConnectedVpns* vpns)
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

    void scanSkippedWhileOneRuns()
    {
        FakeVpns vpns;
        vpns.list({u"wg0"_s});
        vpns.hold();
        Core core(ports(&vpns));
        CoreProbe::scan(core);
        CoreProbe::scan(core);
        CoreProbe::scan(core);
        QVERIFY(QTest::qWaitFor([&vpns] { return vpns.release(); }, 10000));
        QTRY_COMPARE(core.parallelVPNs(), QStringList{u"wg0"_s});
        // A scan queued meanwhile would now wait to be released.
        const bool drained = CoreProbe::drained(core, 5000);
        while (!CoreProbe::drained(core, 100))
            vpns.release();
        QVERIFY2(drained, "a scan was queued while one ran");
        CoreProbe::scan(core);
        QVERIFY(QTest::qWaitFor([&vpns] { return vpns.release(); }, 10000));
        QTRY_VERIFY(!CoreProbe::scanning(core));
    }
};

QTEST_GUILESS_MAIN(VpnListTest)
#include "tst_VpnList.moc"
