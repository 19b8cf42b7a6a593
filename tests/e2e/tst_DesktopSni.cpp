// The tray item as a StatusNotifierItem host meets it. This program is the
// host: it owns org.kde.StatusNotifierWatcher on the session bus of
// desktop.sh's desktop before it starts the application ($OVRIN, a copy of
// the built program next to its resource folder), then reads the item and
// its com.canonical.dbusmenu menu and clicks in it; $OVRINCTL drives the
// helper. Run by desktop.sh, not on its own.
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
const QString dbusMenu = u"com.canonical.dbusmenu"_s;

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

bool alive(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), 0) == 0;
}

} // namespace

class DesktopSni : public QObject {
    Q_OBJECT

    QDBusConnection m_bus = QDBusConnection::sessionBus();
    Watcher m_watcher;
    QProcess m_app;
    QString m_item; // the registered item's service
    QStringList m_channels;

    bool launch()
    {
        const qsizetype before = m_watcher.items().size();
        m_app.start(qEnvironmentVariable("OVRIN"), {});
        if (!QTest::qWaitFor([&] { return m_watcher.items().size() > before; }, patienceMs))
            return false;
        m_item = m_watcher.items().constLast();
        return true;
    }
    // Connects the channel through the helper, installing it first when needed.
    static bool connectChannel(int index)
    {
        QProcess ctl;
        const auto run = [&](const QStringList& arguments) {
            ctl.start(qEnvironmentVariable("OVRINCTL"), arguments);
            return ctl.waitForFinished(patienceMs) && ctl.exitCode() == 0;
        };
        const QStringList connect{u"connect"_s, QString::number(index)};
        return run(connect) || (run({u"install"_s}) && run(connect));
    }
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(m_item, path, interface, method);
        message.setArguments(arguments);
        return m_bus.call(message);
    }
    QVariant itemProperty(const QString& name)
    {
        const QDBusMessage reply =
            call(u"/StatusNotifierItem"_s, u"org.freedesktop.DBus.Properties"_s, u"Get"_s,
                 {u"org.kde.StatusNotifierItem"_s, name});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    QString menuPath() { return itemProperty(u"Menu"_s).value<QDBusObjectPath>().path(); }
    // The menu's items as the host shows them: the id and the label, after
    // "✓ " when checked; hidden items and separators left out.
    QList<std::pair<int, QString>> layout()
    {
        const QDBusMessage reply =
            call(menuPath(), dbusMenu, u"GetLayout"_s, {0, -1, QStringList()});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
            return {{-1, reply.errorMessage()}};
        // The root (ia{sv}av), whose children are the items.
        const auto root = qvariant_cast<QDBusArgument>(reply.arguments().at(1));
        int id = 0;
        QVariantMap p;
        root.beginStructure();
        root >> id >> p;
        root.beginArray();
        QList<std::pair<int, QString>> items;
        while (!root.atEnd()) {
            QDBusVariant child;
            root >> child;
            const auto item = qvariant_cast<QDBusArgument>(child.variant());
            item.beginStructure();
            item >> id >> p;
            item.endStructure();
            if (!p.value(u"visible"_s, true).toBool() || p.value(u"type"_s) == u"separator"_s)
                continue;
            const bool checked = p.value(u"toggle-state"_s, 0).toInt() == 1;
            items.append({id, (checked ? u"✓ "_s : QString()) + drawn(p[u"label"_s].toString())});
        }
        return items;
    }
    // The header and the channels as the menu shows them.
    QStringList top()
    {
        QStringList labels;
        for (const auto& item : layout().mid(0, m_channels.size() + 1))
            labels << item.second;
        return labels;
    }
    // `header`, then the channels with a check on `checked` (none when -1).
    QStringList expected(const QString& header, int checked)
    {
        QStringList labels{header};
        for (qsizetype i = 0; i < m_channels.size(); ++i)
            labels << (i == checked ? u"✓ "_s : QString()) + m_channels.at(i);
        return labels;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_bus.isConnected());
        QVERIFY(m_bus.registerObject(u"/StatusNotifierWatcher"_s, &m_watcher,
                                     QDBusConnection::ExportAllContents));
        QVERIFY(m_bus.registerService(u"org.kde.StatusNotifierWatcher"_s));
        QFile list(QFileInfo(qEnvironmentVariable("OVRIN")).dir().filePath(u"../lib/ovrin"_s) +
                   u"/channels.json"_s);
        QVERIFY(list.open(QIODevice::ReadOnly));
        for (const QJsonValue channel :
             QJsonDocument::fromJson(list.readAll())["channels"_L1].toArray())
            m_channels << channel["name"_L1].toString();
        QVERIFY(m_channels.value(0).contains(u'&'));
        m_app.setProcessChannelMode(QProcess::ForwardedChannels);
        QVERIFY(launch());
    }

    void item()
    {
        QCOMPARE(itemProperty(u"Title"_s).toString(), u"Оврин"_s);
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
            QCOMPARE(argb.size(), qsizetype(width) * height * 4);
            bool ink = false;
            for (qsizetype i = 0; i < argb.size() && !ink; i += 4)
                ink = argb[i] != 0;
            if (ink)
                inked << height;
            sizes += u" %1x%2%3"_s.arg(width).arg(height).arg(ink ? u" inked"_s : QString());
        }
        // A 1× and a 2× picture of one size at least.
        QVERIFY2(
            std::any_of(inked.cbegin(), inked.cend(), [&](int h) { return inked.contains(2 * h); }),
            qPrintable(u"pixmaps:"_s + sizes));
    }

    void menuFollowsTheState()
    {
        // Nobody has opened the menu yet: it follows the state by itself.
        QTRY_COMPARE_WITH_TIMEOUT(top(), expected(u"Отключено"_s, -1), patienceMs);
        QCOMPARE(layout().constLast().second, u"Выйти и отключить"_s);
        QVERIFY(connectChannel(0));
        QTRY_COMPARE_WITH_TIMEOUT(top(), expected(u"Подключено: "_s + m_channels.at(0), 0),
                                  patienceMs);
        // A host that announces an opening and never the closing.
        QCOMPARE(call(menuPath(), dbusMenu, u"AboutToShow"_s, {0}).type(),
                 QDBusMessage::ReplyMessage);
        QVERIFY(connectChannel(1));
        QTRY_COMPARE_WITH_TIMEOUT(top(), expected(u"Подключено: "_s + m_channels.at(1), 1), 5000);
    }

    void quitFromTheMenu()
    {
        const int repeat = qEnvironmentVariableIntValue("OVRIN_DESKTOP_REPEAT");
        QVERIFY(repeat > 0);
        for (int round = 1; round <= repeat; ++round) {
            if (m_app.state() == QProcess::NotRunning)
                QVERIFY(launch());
            // Once the menu lists the channels, its items keep their ids.
            QTRY_VERIFY_WITH_TIMEOUT(
                top().join(u'|').remove(u"✓ "_s).endsWith(m_channels.join(u'|')), patienceMs);
            QVERIFY(connectChannel(0));
            QFile pid(QDir::homePath() + u"/Library/Application Support/Ovrin/helper.pid"_s);
            QVERIFY(pid.open(QIODevice::ReadOnly));
            const qint64 helper = pid.readAll().trimmed().toLongLong();
            QVERIFY(alive(helper));
            const auto quit = layout().constLast();
            QCOMPARE(quit.second, u"Выйти и отключить"_s);
            // Sent as a host sends it, without waiting for the answer of a
            // program that is about to end.
            QDBusMessage click =
                QDBusMessage::createMethodCall(m_item, menuPath(), dbusMenu, u"Event"_s);
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

    void cleanupTestCase()
    {
        if (m_app.state() != QProcess::NotRunning) {
            m_app.terminate();
            m_app.waitForFinished(patienceMs);
        }
    }
};

QTEST_GUILESS_MAIN(DesktopSni)
#include "tst_DesktopSni.moc"
