// The tray item as a StatusNotifierItem host meets it. This program is the
// host: it owns org.kde.StatusNotifierWatcher on the session bus of
// desktop.sh's desktop before it starts the application ($OVRIN, a copy of
// the built program next to its resource folder), then reads the item and
// its com.canonical.dbusmenu menu and clicks in it; $OVRINCTL drives the
// helper. Run by "desktop.sh sni", not on its own.
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <csignal>

using namespace Qt::StringLiterals;

namespace {

constexpr int patienceMs = 20'000;

// The watcher every StatusNotifierItem registers with: one host, always there.
class Watcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    bool hostRegistered() const { return true; }
    QStringList items() const { return m_items; }
    int protocolVersion() const { return 0; }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service)
    {
        m_items << service;
        Q_EMIT StatusNotifierItemRegistered(service);
    }
    void RegisterStatusNotifierHost(const QString&) {}

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    QStringList m_items;
};

struct MenuItem {
    int id = 0;
    QVariantMap properties;
    QList<MenuItem> children;
};

// One (ia{sv}av) node of a GetLayout reply.
MenuItem readItem(const QDBusArgument& argument)
{
    MenuItem item;
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        item.children << readItem(qvariant_cast<QDBusArgument>(child.variant()));
    }
    argument.endArray();
    argument.endStructure();
    return item;
}

// A label as the host draws it: "_" marks the access key, "__" is an underscore.
QString drawn(const QString& label)
{
    QString text;
    for (qsizetype i = 0; i < label.size(); ++i) {
        if (label[i] == u'_' && ++i == label.size())
            break;
        text += label[i];
    }
    return text;
}

QString ctl(const QStringList& arguments)
{
    QProcess process;
    process.start(qEnvironmentVariable("OVRINCTL"), arguments);
    process.waitForFinished(patienceMs);
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool alive(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), 0) == 0;
}

} // namespace

class DesktopSni : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void item();
    void menu();
    void aboutToShowLeavesThePollRunning();
    void quitFromTheMenu();
    void cleanupTestCase();

private:
    bool launch();
    bool connectChannel(int index);
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments);
    QVariant itemProperty(const QString& name);
    QString menuPath();
    // The menu's items as the host shows them, by id: the label, after "✓ "
    // when checked; hidden items and separators left out.
    QList<std::pair<int, QString>> layout();
    // Whether the menu shows `header`, then the channels with a check on
    // `checked` (none when -1), then the commands ending with "Выйти и
    // отключить"; the menu seen and the one expected are kept for `seen()`.
    bool shows(const QString& header, int checked);
    QByteArray seen() const;

    QDBusConnection m_bus = QDBusConnection::sessionBus();
    Watcher m_watcher;
    QProcess m_app;
    QString m_item; // the registered item's service
    QStringList m_channels;
    QStringList m_seen;
    QStringList m_expected;
};

void DesktopSni::initTestCase()
{
    QVERIFY(m_bus.isConnected());
    QVERIFY(m_bus.registerObject(u"/StatusNotifierWatcher"_s, &m_watcher,
                                 QDBusConnection::ExportAllContents));
    QVERIFY(m_bus.registerService(u"org.kde.StatusNotifierWatcher"_s));

    const QString resources =
        QFileInfo(qEnvironmentVariable("OVRIN")).dir().filePath(u"../lib/ovrin"_s);
    QFile list(resources + u"/channels.json"_s);
    QVERIFY(list.open(QIODevice::ReadOnly));
    for (const QJsonValue channel :
         QJsonDocument::fromJson(list.readAll())["channels"_L1].toArray())
        m_channels << channel["name"_L1].toString();
    QVERIFY(m_channels.value(0).contains(u'&'));
    m_app.setProcessChannelMode(QProcess::ForwardedChannels);
    QVERIFY(launch());
}

bool DesktopSni::launch()
{
    const qsizetype before = m_watcher.items().size();
    m_app.start(qEnvironmentVariable("OVRIN"), {});
    if (!QTest::qWaitFor([&] { return m_watcher.items().size() > before; }, patienceMs))
        return false;
    m_item = m_watcher.items().constLast();
    return true;
}

bool DesktopSni::connectChannel(int index)
{
    if (ctl({u"status"_s}).contains(u"не установлена"_s))
        ctl({u"install"_s});
    ctl({u"connect"_s, QString::number(index)});
    return QTest::qWaitFor(
        [&] { return ctl({u"status"_s}).contains(u"Подключено: "_s + m_channels.at(index)); },
        patienceMs);
}

QDBusMessage DesktopSni::call(const QString& path, const QString& interface, const QString& method,
                              const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(m_item, path, interface, method);
    message.setArguments(arguments);
    return m_bus.call(message);
}

QVariant DesktopSni::itemProperty(const QString& name)
{
    const QDBusMessage reply = call(u"/StatusNotifierItem"_s, u"org.freedesktop.DBus.Properties"_s,
                                    u"Get"_s, {u"org.kde.StatusNotifierItem"_s, name});
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

QString DesktopSni::menuPath()
{
    return itemProperty(u"Menu"_s).value<QDBusObjectPath>().path();
}

QList<std::pair<int, QString>> DesktopSni::layout()
{
    const QDBusMessage reply =
        call(menuPath(), u"com.canonical.dbusmenu"_s, u"GetLayout"_s, {0, -1, QStringList()});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
        return {{-1, reply.errorMessage()}};
    QList<std::pair<int, QString>> items;
    const MenuItem root = readItem(qvariant_cast<QDBusArgument>(reply.arguments().at(1)));
    for (const MenuItem& item : root.children) {
        const QVariantMap& p = item.properties;
        if (!p.value(u"visible"_s, true).toBool() || p.value(u"type"_s) == u"separator"_s)
            continue;
        const bool checked = p.value(u"toggle-state"_s, 0).toInt() == 1;
        items.append(
            {item.id, (checked ? u"✓ "_s : QString()) + drawn(p.value(u"label"_s).toString())});
    }
    return items;
}

bool DesktopSni::shows(const QString& header, int checked)
{
    m_expected = QStringList{header};
    for (qsizetype i = 0; i < m_channels.size(); ++i)
        m_expected << (i == checked ? u"✓ "_s : QString()) + m_channels.at(i);
    m_seen.clear();
    for (const auto& item : layout())
        m_seen << item.second;
    return m_seen.mid(0, m_expected.size()) == m_expected &&
           m_seen.constLast() == u"Выйти и отключить"_s;
}

QByteArray DesktopSni::seen() const
{
    return (u"\n   shown: "_s + m_seen.join(u" | "_s) + u"\n   expected first: "_s +
            m_expected.join(u" | "_s) + u" … Выйти и отключить"_s)
        .toUtf8();
}

void DesktopSni::item()
{
    const QString title = itemProperty(u"Title"_s).toString();
    QVERIFY2(title == u"Оврин"_s, qPrintable(u"Title: "_s + title));

    // a(iiay): width, height and ARGB32 in network byte order, per size.
    const auto pixmaps = qvariant_cast<QDBusArgument>(itemProperty(u"IconPixmap"_s));
    QList<int> inked;
    QString sizes;
    pixmaps.beginArray();
    while (!pixmaps.atEnd()) {
        int width = 0;
        int height = 0;
        QByteArray argb;
        pixmaps.beginStructure();
        pixmaps >> width >> height >> argb;
        pixmaps.endStructure();
        sizes += u" %1x%2"_s.arg(width).arg(height);
        QCOMPARE(argb.size(), qsizetype(width) * height * 4);
        for (qsizetype i = 0; i < argb.size(); i += 4) {
            if (argb[i] != 0) {
                inked << height;
                sizes += u" inked"_s;
                break;
            }
        }
    }
    pixmaps.endArray();
    // A 1× and a 2× picture of one size at least.
    QVERIFY2(
        std::any_of(inked.cbegin(), inked.cend(), [&](int h) { return inked.contains(2 * h); }),
        qPrintable(u"pixmaps:"_s + sizes));
}

void DesktopSni::menu()
{
    // Nobody has opened the menu yet: it follows the state by itself.
    QTRY_VERIFY2_WITH_TIMEOUT(shows(u"Отключено"_s, -1), seen().constData(), patienceMs);
    QVERIFY(connectChannel(0));
    QTRY_VERIFY2_WITH_TIMEOUT(shows(u"Подключено: "_s + m_channels.at(0), 0), seen().constData(),
                              patienceMs);
}

void DesktopSni::aboutToShowLeavesThePollRunning()
{
    // A host that announces an opening and never the closing.
    const QDBusMessage reply = call(menuPath(), u"com.canonical.dbusmenu"_s, u"AboutToShow"_s, {0});
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QVERIFY(connectChannel(1));
    QTRY_VERIFY2_WITH_TIMEOUT(shows(u"Подключено: "_s + m_channels.at(1), 1), seen().constData(),
                              5000);
}

void DesktopSni::quitFromTheMenu()
{
    const int repeat = qEnvironmentVariableIsSet("OVRIN_DESKTOP_REPEAT")
                           ? qEnvironmentVariableIntValue("OVRIN_DESKTOP_REPEAT")
                           : 10;
    for (int round = 1; round <= repeat; ++round) {
        if (m_app.state() == QProcess::NotRunning)
            QVERIFY(launch());
        QVERIFY(connectChannel(0));
        QTRY_VERIFY2_WITH_TIMEOUT(shows(u"Подключено: "_s + m_channels.at(0), 0),
                                  seen().constData(), patienceMs);
        QFile pidFile(QDir::homePath() + u"/Library/Application Support/Ovrin/helper.pid"_s);
        QVERIFY(pidFile.open(QIODevice::ReadOnly));
        const qint64 helper = pidFile.readAll().trimmed().toLongLong();
        QVERIFY(alive(helper));
        const auto quit = layout().constLast();
        // Sent as a host sends it, without waiting for the answer of a
        // program that is about to end.
        QDBusMessage click = QDBusMessage::createMethodCall(
            m_item, menuPath(), u"com.canonical.dbusmenu"_s, u"Event"_s);
        click.setArguments({quit.first, u"clicked"_s, QVariant::fromValue(QDBusVariant(0)),
                            uint(QDateTime::currentSecsSinceEpoch())});
        QVERIFY(m_bus.send(click));
        QTRY_VERIFY2_WITH_TIMEOUT(m_app.state() == QProcess::NotRunning,
                                  qPrintable(u"still running in round %1"_s.arg(round)), 6000);
        QCOMPARE(m_app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_app.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!alive(helper), patienceMs);
    }
}

void DesktopSni::cleanupTestCase()
{
    if (m_app.state() != QProcess::NotRunning) {
        m_app.terminate();
        m_app.waitForFinished(patienceMs);
    }
}

QTEST_GUILESS_MAIN(DesktopSni)
#include "tst_DesktopSni.moc"
