// Core's start-up, status poll and parallel-VPN scan against the fake helper
// and scripted tools.
#include "FakeDialogs.h"
#include "FakeHelper.h"
#include "FakeLoginItem.h"
#include "FakePorts.h"
#include "FakeSystemLog.h"
#include "FakeVpns.h"
#include "Scripts.h"
#include "StatusJson.h"
#include "TestHome.h"
#include "core/Core.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Reply = FakeHelper::Reply;
Q_DECLARE_METATYPE(FakeHelper::Reply)

class CoreStateTest : public QObject {
    Q_OBJECT

    TestHome m_home; // before any use of HelperSocket::path()
    Scripts m_resources;
    std::unique_ptr<FakeHelper> m_helper;
    std::unique_ptr<FakeDialogs> m_dialogs;
    FakeLoginItem m_loginItem;
    FakeSystemLog m_log;

    CorePorts ports(const QStringList& arguments = {u"ovrin"_s})
    {
        CorePorts p = fakePorts(*m_dialogs, m_loginItem, m_log);
        p.resourceFolder = m_resources.path();
        p.arguments = arguments;
        return p;
    }

    static Status connected(const QString& channel)
    {
        Status s;
        s.running = true;
        s.active = 0;
        s.channels = {channel};
        s.verified = true;
        return s;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_resources.isValid());
        // The helper stand-in records its arguments and leaves.
        QVERIFY(!m_resources
                     .write(u"helper"_s, uR"(for a in "$@"; do printf '%s\n' "$a"; done > "$0.tmp"
mv "$0.tmp" "$0.args")"_s)
                     .isEmpty());
    }

    void init()
    {
        m_helper = std::make_unique<FakeHelper>(m_home.socketPath());
        QVERIFY(m_helper->listening());
        m_dialogs = std::make_unique<FakeDialogs>();
        QFile::remove(m_resources.path() + u"/helper.args"_s);
    }

    void cleanup() { m_helper.reset(); }

    void helperCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("extra");
        QTest::newRow("plain") << QStringList{u"ovrin"_s} << QStringList{};
        QTest::newRow("restore channel")
            << QStringList{u"ovrin"_s, u"--restore-channel"_s, u"Мой канал"_s}
            << QStringList{u"-restore-channel"_s, u"Мой канал"_s};
        QTest::newRow("option last")
            << QStringList{u"ovrin"_s, u"-x"_s, u"--restore-channel"_s} << QStringList{};
        QTest::newRow("first occurrence") << QStringList{u"ovrin"_s, u"--restore-channel"_s, u"A"_s,
                                                         u"--restore-channel"_s, u"B"_s}
                                          << QStringList{u"-restore-channel"_s, u"A"_s};
        QTest::newRow("value taken unchanged")
            << QStringList{u"ovrin"_s, u"--restore-channel"_s, u"--restore-channel"_s}
            << QStringList{u"-restore-channel"_s, u"--restore-channel"_s};
    }

    void helperCommandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, extra);
        Core core(ports(arguments));
        core.launch();
        QTRY_VERIFY(QFile::exists(m_resources.path() + u"/helper.args"_s));
        const QString folder = m_resources.path();
        QCOMPARE(m_resources.lines(u"helper.args"_s),
                 QStringList({u"-default"_s, folder + u"/channels.json"_s, u"-engine"_s,
                              folder + u"/netcore"_s}) +
                     extra);
    }

    void defaultStatusBeforeFirstPoll()
    {
        m_helper->route("GET", "/status", Reply::json(200, statusBody(connected(u"A"_s))));
        Core core(ports());
        core.launch();
        QCOMPARE(m_helper->count("GET", "/status"), 0);
        const QJsonObject expected = QJsonDocument::fromJson(R"({
            "running": false, "active": 0, "auto": true, "latency_ms": 0, "down_bps": 0,
            "up_bps": 0, "peak_bps": 0, "best_bps": [], "check_wait_ms": 0,
            "check_total_ms": 0, "check_next_ms": 5000, "message": "", "channels": [],
            "helper": false, "primary": false, "autoconnect": false, "protected": false,
            "protection_armed": false, "verified": false})")
                                         .object();
        QCOMPARE(statusObject(core.status()), expected);
        // The first poll comes with the first tick.
        QTRY_COMPARE_WITH_TIMEOUT(core.status(), connected(u"A"_s), 3000);
    }

    void pollReplies_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<bool>("taken");
        Status busy = connected(u"B"_s);
        busy.verified = false;
        busy.message = u"Переподключение"_s;
        QTest::newRow("503 with a status body") << Reply::json(503, statusBody(busy)) << true;
        QTest::newRow("a key missing") << Reply::json(200, R"({"running":true})") << false;
        QTest::newRow("not JSON") << Reply::text(200, "busy") << false;
        QTest::newRow("no answer") << Reply::closeWithoutAnswer() << false;
    }

    // A poll's outcome, and then a valid status to mark that it was seen:
    // when the reply is not taken, the only change is to the last record.
    void pollReplies()
    {
        QFETCH(Reply, reply);
        QFETCH(bool, taken);
        const Status first = connected(u"A"_s);
        m_helper->route("GET", "/status", Reply::json(200, statusBody(first)));
        Core core(ports());
        core.launch();
        QTRY_COMPARE_WITH_TIMEOUT(core.status(), first, 3000);

        QSignalSpy changes(&core, &Core::statusChanged);
        m_helper->route("GET", "/status", reply);
        const int before = m_helper->count("GET", "/status");
        QTRY_VERIFY_WITH_TIMEOUT(m_helper->count("GET", "/status") >= before + 2, 4000);
        if (taken) {
            QCOMPARE(changes.count(), 1);
            QCOMPARE_NE(core.status(), first);
            return;
        }
        QCOMPARE(core.status(), first);
        const Status last = connected(u"C"_s);
        m_helper->route("GET", "/status", Reply::json(200, statusBody(last)));
        QTRY_COMPARE_WITH_TIMEOUT(core.status(), last, 3000);
        QCOMPARE(changes.count(), 1);
    }

    void vanishedHelperKeepsLastStatus()
    {
        const Status first = connected(u"A"_s);
        m_helper->route("GET", "/status", Reply::json(200, statusBody(first)));
        Core core(ports());
        core.launch();
        QTRY_COMPARE_WITH_TIMEOUT(core.status(), first, 3000);
        m_helper.reset();
        QSignalSpy changes(&core, &Core::statusChanged);
        QVERIFY(!changes.wait(2500)); // two polls find no helper
        QCOMPARE(core.status(), first);
    }

    // Ticks are skipped while an alert or menu is open, yet a finished
    // request still hands its result to the main thread.
    void ticksSkippedWhileModal()
    {
        m_helper->route("GET", "/status", Reply::json(200, statusBody(connected(u"A"_s))));
        m_helper->route("POST", "/export",
                        Reply::json(200, R"({"path":"/d/x.zip"})").after(1500ms));
        m_dialogs->saveAnswer = u"/d/x.zip"_s;
        Core core(ports());
        m_dialogs->holdModal(true);
        core.launch();
        core.exportLogs();
        QTRY_COMPARE_WITH_TIMEOUT(m_dialogs->revealed, QStringList{u"/d/x.zip"_s}, 5000);
        QCOMPARE(m_helper->count("GET", "/status"), 0);
        m_dialogs->holdModal(false);
        QTRY_VERIFY_WITH_TIMEOUT(m_helper->count("GET", "/status") >= 1, 3000);
    }

    // Every second a poll hangs for its 5 s: about five are outstanding, and
    // a command still gets its answer at once.
    void hungPollsDoNotDelayCommands()
    {
        m_helper->route("GET", "/status", Reply::stall());
        m_helper->route("POST", "/connect", Reply::json(200, "{}"));
        Core core(ports());
        core.launch();
        QTRY_VERIFY_WITH_TIMEOUT(m_helper->openConnections() >= 5, 10000);
        QElapsedTimer clock;
        clock.start();
        core.connect(0);
        QVERIFY(core.busy());
        QTRY_VERIFY_WITH_TIMEOUT(!core.busy(), 2000);
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    }

    void launchScansAtOnce()
    {
        FakeVpns vpns;
        vpns.list({u"wg0"_s});
        CorePorts p = ports();
        p.vpns = &vpns;
        Core core(p);
        core.launch();
        QTRY_COMPARE_WITH_TIMEOUT(core.parallelVPNs(), QStringList{u"wg0"_s}, 1500);
    }
};

QTEST_GUILESS_MAIN(CoreStateTest)
#include "tst_CoreState.moc"
