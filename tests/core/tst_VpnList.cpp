// Reading the network tool's list: which other VPNs are connected.
#include "core/VpnList.h"
#include "platform/AppIdentity.h"

#include <QTest>

using namespace Qt::StringLiterals;

class VpnListTest : public QObject {
    Q_OBJECT

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

    void networkManagerLines_data()
    {
        QTest::addColumn<QString>("nmcli");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("vpn and wireguard only")
            << u"Office:5f1e-01:vpn\nHome Wi-Fi:77aa-02:802-11-wireless\nwg0:9c3d-03:wireguard\n"
               u"lo:0000-04:loopback\n"_s
            << QStringList{u"Office"_s, u"wg0"_s};
        QTest::newRow("escaped colon")
            << uR"(Work\: Paris:5f1e-01:vpn)"_s << QStringList{u"Work: Paris"_s};
        QTest::newRow("escaped backslash")
            << uR"(C\\D\:E:5f1e-01:wireguard)"_s << QStringList{uR"(C\D:E)"_s};
        QTest::newRow("CR LF") << u"Офис:5f1e-01:vpn\r\nДом:5f1e-02:vpn\r\n"_s
                               << QStringList{u"Дом"_s, u"Офис"_s};
        QTest::newRow("unescaped colon is no line") << u"a:b:5f1e-01:vpn"_s << QStringList{};
        QTest::newRow("unfinished escape") << u"a:5f1e-01:vpn\\"_s << QStringList{};
    }

    void networkManagerLines()
    {
        QFETCH(QString, nmcli);
        QFETCH(QStringList, names);
        QCOMPARE(connectedVPNNames(vpnLinesFromNmcli(nmcli), AppIdentity::bundleIdentifier()),
                 names);
    }

    void networkManagerLineForm()
    {
        QCOMPARE(vpnLinesFromNmcli(u"Office:5f1e-01:vpn"_s),
                 uR"(* (Connected) 5f1e-01 VPN (vpn) "Office")"_s);
    }
};

QTEST_GUILESS_MAIN(VpnListTest)
#include "tst_VpnList.moc"
