// The tunnel interfaces the parallel-VPN scan reads, and the resource folder.
#include "platform/NetworkManagerVpns.h"
#include "platform/ResourceFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using Files = QMap<QString, QByteArray>;

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

    // The test programs run from <build>/tests; the resources are in
    // <build>/lib/ovrin, as in an install.
    void resourceFolderBesideTheProgram()
    {
        QCOMPARE(ResourceFolder::find(), std::optional(QStringLiteral(OVRIN_TEST_RESOURCE_DIR)));
    }
};

QTEST_GUILESS_MAIN(NetworkManagerVpnsTest)
#include "tst_NetworkManagerVpns.moc"
