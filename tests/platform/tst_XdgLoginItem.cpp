// The autostart entry: what it says, when it counts as enabled, and its
// refusals.
#include "platform/XdgLoginItem.h"

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
};

QTEST_GUILESS_MAIN(XdgLoginItemTest)
#include "tst_XdgLoginItem.moc"
