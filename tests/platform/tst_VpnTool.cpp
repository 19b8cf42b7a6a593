// Running the network tool under its watchdog, and the resource folder.
#include "platform/ResourceFolder.h"
#include "platform/VpnTool.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

class VpnToolTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void run_data()
    {
        QTest::addColumn<QString>("script"); // empty: no such program
        QTest::addColumn<std::optional<QByteArray>>("output");
        QTest::newRow("prints") << u"printf 'Офис:5f1e:vpn\\n'"_s
                                << std::optional(u"Офис:5f1e:vpn\n"_s.toUtf8());
        QTest::newRow("standard error dropped")
            << u"echo oops >&2; printf ok"_s << std::optional(QByteArray("ok"));
        QTest::newRow("no input") << u"cat"_s << std::optional(QByteArray());
        QTest::newRow("exit status 1") << u"printf ok; exit 1"_s << std::optional<QByteArray>();
        QTest::newRow("hangs") << u"printf ok; exec sleep 30"_s << std::optional<QByteArray>();
        QTest::newRow("ignores termination")
            << u"trap '' TERM; exec sleep 30"_s << std::optional<QByteArray>();
        QTest::newRow("missing") << QString() << std::optional<QByteArray>();
    }

    void run()
    {
        QFETCH(QString, script);
        QFETCH(std::optional<QByteArray>, output);
        VpnTool tool{m_dir.filePath(QString::fromLatin1(QTest::currentDataTag())), {u"-x"_s}};
        if (!script.isEmpty()) {
            QFile file(tool.program);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write((u"#!/bin/sh\n"_s + script).toUtf8());
            file.close();
            file.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        }
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(tool.run(2s), output);
        QVERIFY(clock.elapsed() < 3500);
    }

    void missingToolLeavesNoDescriptorBehind_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("by name, not on PATH") << u"ovrin-no-such-tool"_s;
        QTest::newRow("by path") << m_dir.filePath(u"absent"_s);
    }

    void missingToolLeavesNoDescriptorBehind()
    {
        // The scan runs every 3 s for the life of the application.
        QFETCH(QString, program);
        const auto open = [] {
            return QDir(u"/proc/self/fd"_s).entryList(QDir::System | QDir::Files).size();
        };
        const qsizetype before = open();
        for (int i = 0; i < 20; ++i)
            QCOMPARE(VpnTool({program, {}}).run(2s), std::optional<QByteArray>());
        QCOMPARE(open(), before);
    }

    void networkManagerCommand()
    {
        const VpnTool tool = VpnTool::networkManager();
        QCOMPARE(tool.program + u' ' + tool.arguments.join(u' '),
                 u"nmcli -t -f NAME,UUID,TYPE connection show --active"_s);
    }

    // The test programs run from <build>/tests; the resources are in
    // <build>/lib/ovrin, as in an install.
    void resourceFolderBesideTheProgram()
    {
        QCOMPARE(ResourceFolder::find(), std::optional(QStringLiteral(OVRIN_TEST_RESOURCE_DIR)));
    }
};

QTEST_GUILESS_MAIN(VpnToolTest)
#include "tst_VpnTool.moc"
