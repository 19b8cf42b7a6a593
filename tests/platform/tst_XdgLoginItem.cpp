// The autostart entry: what it says, when it counts as enabled, and its
// refusals; Core switching it.
#include "FakeDialogs.h"
#include "FakePorts.h"
#include "FakeSystemLog.h"
#include "core/Core.h"
#include "platform/desktop/XdgLoginItem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class XdgLoginItemTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString folder() const { return m_dir.filePath(u"autostart"_s); }

    void writeEntry(const QByteArray& content)
    {
        QDir().mkpath(folder());
        QFile file(folder() + u"/org.ovrin.menubarapp.desktop"_s);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

private Q_SLOTS:
    void init() { QDir(folder()).removeRecursively(); }

    void execValue_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<std::optional<QString>>("exec");
        QTest::newRow("plain") << u"/usr/bin/ovrin"_s << std::optional(u"\"/usr/bin/ovrin\""_s);
        QTest::newRow("spaces, Cyrillic")
            << u"/opt/Мои программы/ovrin"_s << std::optional(u"\"/opt/Мои программы/ovrin\""_s);
        QTest::newRow("double quote") << u"/a\"b"_s << std::optional(u"\"/a\\\\\"b\""_s);
        QTest::newRow("backslash") << u"/a\\b"_s << std::optional(u"\"/a\\\\\\\\b\""_s);
        QTest::newRow("dollar, backtick") << u"/a$b`c"_s << std::optional(u"\"/a\\\\$b\\\\`c\""_s);
        QTest::newRow("percent") << u"/100%/ovrin"_s << std::optional(u"\"/100%%/ovrin\""_s);
        QTest::newRow("newline") << u"/a\nb"_s << std::optional<QString>();
        QTest::newRow("empty") << QString() << std::optional<QString>();
    }

    void execValue()
    {
        QFETCH(QString, program);
        QFETCH(std::optional<QString>, exec);
        QCOMPARE(XdgLoginItem::execValue(program), exec);
    }

    void enabled_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("enabled");
        const QByteArray valid = "[Desktop Entry]\nType=Application\nName=Оврин\nExec=\"/x\"\n";
        QTest::newRow("valid") << valid << true;
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
        QTest::newRow("not an entry") << QByteArray("Exec=/x\n") << false;
        QTest::newRow("not UTF-8") << QByteArray(valid).replace("Оврин", "\xff\xfe") << false;
    }

    void enabled()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, enabled);
        writeEntry(content);
        QCOMPARE(XdgLoginItem(folder(), u"/x"_s).isEnabled(), enabled);
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
        QFETCH(QString, folder);
        qputenv("XDG_CONFIG_HOME", config);
        QCOMPARE(XdgLoginItem::defaultFolder(), folder);
    }

    // Core's launch-at-login switch with the real entry.
    void switchedByCore()
    {
        FakeDialogs dialogs;
        FakeSystemLog log;
        XdgLoginItem item(folder(), u"/opt/Оврин/bin/ovrin"_s);
        Core core(fakePorts(dialogs, item, log));
        QVERIFY(!core.launchAtLogin());
        core.setLaunchAtLogin(true);
        QVERIFY(core.launchAtLogin());
        QFile entry(item.entryPath());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        QVERIFY(entry.readAll().contains(u"\nExec=\"/opt/Оврин/bin/ovrin\"\n"_s.toUtf8()));
        QVERIFY(Core(fakePorts(dialogs, item, log)).launchAtLogin());
        core.setLaunchAtLogin(false);
        QVERIFY(!core.launchAtLogin());
        QVERIFY(!QFile::exists(item.entryPath()));
        QVERIFY(log.lines().isEmpty());

        // An autostart "folder" that is a file cannot take the entry.
        QVERIFY(QDir(folder()).removeRecursively());
        QFile blocker(folder());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        core.setLaunchAtLogin(true);
        QVERIFY(!core.launchAtLogin());
        QCOMPARE(log.lines().size(), 1);
        QVERIFY(log.lines().first().startsWith(u"автозапуск: "_s));
        QVERIFY(dialogs.calls.isEmpty());
    }
};

QTEST_GUILESS_MAIN(XdgLoginItemTest)
#include "tst_XdgLoginItem.moc"
