// Core against the fake helper: its commands and what each counts as
// success, the status poll, the ticks, the parallel-VPN scan and the update
// hooks.
#include "CoreProbe.h"
#include "CoreRig.h"
#include "FakePorts.h"
#include "FakeVpns.h"
#include "StatusJson.h"
#include "core/VpnList.h"
#include "link/HelperSocket.h"
#include "platform/AppIdentity.h"

#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Reply = FakeHelper::Reply;
using Command = std::function<void(Core&)>;
Q_DECLARE_METATYPE(FakeHelper::Reply)
Q_DECLARE_METATYPE(std::optional<FakeHelper::Reply>)
Q_DECLARE_METATYPE(std::optional<HelperReply>)
Q_DECLARE_METATYPE(Command)

namespace {

Status connected(const QString& channel)
{
    Status s;
    s.running = true;
    s.channels = {channel};
    s.verified = true;
    return s;
}

// What the helper received, a line each: method, target, any payload and the
// headers beyond the three every request carries; marked when the bytes on
// the wire are not exactly that request's frame.
QStringList requestsOf(const FakeHelper& helper)
{
    QStringList lines;
    for (const FakeHelper::Request& r : helper.requests()) {
        QString line = QString::fromUtf8(r.method + ' ' + r.target);
        if (!r.body.isEmpty())
            line += u' ' + QString::fromUtf8(r.body);
        HelperSocket::Headers extra;
        for (const auto& [name, value] : r.headers) {
            if (name == "Host" || name == "Content-Type" || name == "Content-Length")
                continue;
            extra.insert(QString::fromUtf8(name), QString::fromUtf8(value));
            line += u" [%1: %2]"_s.arg(QString::fromUtf8(name), QString::fromUtf8(value));
        }
        if (HelperSocket::frame(QString::fromUtf8(r.method), QString::fromUtf8(r.target), r.body,
                                extra) != r.raw)
            line += u" (framed otherwise)"_s;
        lines << line;
    }
    return lines;
}

// What the user saw: save panels by the name they suggest, alerts by title
// and text (a question with its buttons), and the files revealed.
QStringList shownBy(const FakeDialogs& dialogs)
{
    QStringList lines;
    for (const FakeDialogs::SavePanel& panel : dialogs.savePanels)
        lines << u"⤓ "_s + panel.suggestedName;
    for (const FakeDialogs::Alert& a : dialogs.alerts)
        lines << (a.buttons.isEmpty() ? a.message + u" — "_s + a.informative
                                      : u"%1 [%2]"_s.arg(a.message, a.buttons.join(u'/')));
    for (const QString& path : dialogs.revealed)
        lines << u"→ "_s + path;
    return lines;
}

} // namespace

class CoreTest : public QObject {
    Q_OBJECT

    CoreRig m_rig;
    QTemporaryDir m_resources; // holds the helper stand-in
    FakeVpns m_vpns;

    QString argsFile() const { return m_resources.filePath(u"helper.args"_s); }

    // A Core that starts the helper stand-in from the resource folder.
    Core& launched(const QStringList& arguments = {u"ovrin"_s})
    {
        CorePorts ports = fakePorts(m_rig.dialogs, m_rig.loginItem, m_rig.log);
        ports.resourceFolder = m_resources.path();
        ports.arguments = arguments;
        ports.vpns = &m_vpns;
        m_rig.core = std::make_unique<Core>(std::move(ports));
        m_rig.core->launch();
        return *m_rig.core;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The helper stand-in records its arguments and leaves.
        QFile helper(m_resources.filePath(u"helper"_s));
        QVERIFY(helper.open(QIODevice::WriteOnly));
        helper.write("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.tmp\"\n"
                     "mv \"$0.tmp\" \"$0.args\"\n");
        helper.close();
        QVERIFY(helper.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    void init()
    {
        QVERIFY(m_rig.start());
        m_rig.clock.setNow(QDateTime(QDate(2026, 3, 7), QTime(9, 45, 59)));
        m_vpns.list({});
        QFile::remove(argsFile());
    }

    void cleanup() { m_rig.stop(); }

    void commands_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<std::optional<Reply>>("reply"); // none: no helper at all
        QTest::addColumn<int>("answer");                 // to the question or panel; 1 cancels
        QTest::addColumn<bool>("busy");                  // busy or exporting until answered
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QStringList>("seen");
        const auto row = [](const char* name, const Command& command, std::optional<Reply> reply,
                            bool busy, const QStringList& sent, const QStringList& seen,
                            int answer = 0) {
            QTest::newRow(name) << command << reply << answer << busy << sent << seen;
        };
        const std::optional<Reply> ok = Reply::json(200, "{}");
        const std::optional<Reply> none;
        const QString noAnswer = u"Помощник не ответил."_s;
        const QString poll = u"GET /status"_s;

        const Command connect = [](Core& c) { c.connect(3); };
        row("connect", connect, ok, true, {u"POST /connect?i=3"_s, poll}, {});
        row("autoconnect off", [](Core& c) { c.setAutoconnect(false); }, ok, true,
            {u"POST /autoconnect?on=0"_s, poll}, {});
        row("autoconnect on", [](Core& c) { c.setAutoconnect(true); }, ok, true,
            {u"POST /autoconnect?on=1"_s, poll}, {});
        row("install", [](Core& c) { c.install(); }, ok, true, {u"POST /install"_s, poll}, {});
        row("select manually", [](Core& c) { c.selectManually(); }, ok, false,
            {u"POST /autoconnect/cancel"_s}, {});

        const Command disconnect = [](Core& c) { c.disconnect(); };
        const QString stop = u"POST /stop"_s;
        const QString stopFailed = u"Не удалось завершить отключение — "_s;
        row("disconnect 200", disconnect, ok, true, {stop, poll}, {});
        row("disconnect 204", disconnect, Reply::text(204, "туннель уже остановлен"), true,
            {stop, poll}, {stopFailed + u"туннель уже остановлен"_s});
        row("disconnect 500 empty", disconnect, Reply::text(500, {}), true, {stop, poll},
            {stopFailed});
        row("disconnect body not UTF-8", disconnect, Reply::text(500, "\xff\xfe"), true,
            {stop, poll}, {stopFailed + noAnswer});
        row("disconnect no helper", disconnect, none, true, {}, {stopFailed + noAnswer});

        const QString strictOn = u"Включить строгую защиту? [Включить/Отмена]"_s;
        const QString notChanged = u"Защита не изменена — "_s;
        const Command protect = [](Core& c) { c.setProtection(true); };
        row("protection on 204", protect, Reply::text(204, {}), true,
            {u"POST /protection?on=1"_s, poll}, {strictOn});
        row("protection off 200", [](Core& c) { c.setProtection(false); },
            Reply::text(200, "правила не применены"), true, {u"POST /protection?on=0"_s, poll},
            {u"Выключить строгую защиту? [Выключить/Отмена]"_s,
             notChanged + u"правила не применены"_s});
        row("protection no helper", protect, none, true, {}, {strictOn, notChanged + noAnswer});
        row("protection cancelled", protect, ok, false, {}, {strictOn}, 1);

        const Command clear = [](Core& c) { c.clearLogs(); };
        const QString clearAsked = u"Очистить журналы? [Очистить/Отмена]"_s;
        const QString notCleared = u"Журналы очищены не полностью — "_s;
        row("clear 204", clear, Reply::text(204, {}), false, {u"POST /clear-logs"_s}, {clearAsked});
        row("clear 200", clear, Reply::text(200, "очищено частично"), false,
            {u"POST /clear-logs"_s}, {clearAsked, notCleared + u"очищено частично"_s});
        row("clear no helper", clear, none, false, {}, {clearAsked, notCleared + noAnswer});
        row("clear cancelled", clear, ok, false, {}, {clearAsked}, 1);

        // To "/tmp/Мои журналы/a+b & c#1?%.zip".
        const Command exportLogs = [](Core& c) { c.exportLogs(); };
        const QStringList exportTo{
            u"POST /export?to=/tmp/%D0%9C%D0%BE%D0%B8%20%D0%B6%D1%83%D1%80%D0%BD%D0%B0%D0%BB%D1%8B"
            u"/a%2Bb%20%26%20c%231%3F%25.zip"_s};
        const QString panel = u"⤓ Оврин-журналы-2026-03-07-0945.zip"_s;
        const QString exportFailed = u"Не удалось выгрузить журналы — "_s;
        const QByteArray saved = R"({"path":"/d/x.zip"})";
        row("export 200", exportLogs, Reply::json(200, saved), true, exportTo,
            {panel, u"→ /d/x.zip"_s});
        row("export 201", exportLogs, Reply::json(201, saved), true, exportTo,
            {panel, exportFailed + QString::fromUtf8(saved)});
        for (const char* body :
             {R"({"path":"/d/x.zip","size":5})", R"({"path":1})", R"({"file":"/d/x.zip"})"})
            row(body, exportLogs, Reply::json(200, body), true, exportTo,
                {panel, exportFailed + QString::fromUtf8(body)});
        row("export 500", exportLogs, Reply::text(500, "диск заполнен"), true, exportTo,
            {panel, exportFailed + u"диск заполнен"_s});
        row("export no helper", exportLogs, none, true, {}, {panel, exportFailed + noAnswer});
        row("export cancelled", exportLogs, ok, false, {}, {panel}, 1);

        row("check updates", [](Core& c) { c.checkUpdates(); }, ok, false, {},
            {u"Проверка обновлений недоступна — Источник подписанных обновлений пока не "
             u"настроен. Наличие новой версии не проверялось."_s});
        const auto quit = [](bool installing) {
            return Command([installing](Core& c) {
                c.updates().setInstalling(installing);
                if (c.updates().authorizeTermination())
                    c.updates().disconnectForTermination();
            });
        };
        const QString intent = uR"(POST /updates/intent {"build":0} [X-Ovrin-Update-Session: ])"_s;
        row("quit", quit(false), ok, false, {stop}, {});
        row("quit while installing", quit(true), ok, false,
            {intent, u"POST /stop?reason=update [X-Ovrin-Update-Session: ]"_s}, {});
        row("quit while installing, intent refused", quit(true), Reply::json(409, "{}"), false,
            {intent},
            {u"Обновление приостановлено — Не удалось сохранить действующее подключение. "
             u"Повторите установку позже."_s});
    }

    // Each command's request, byte for byte, which replies count as success
    // (any other alerts once answered), `busy` until the answer, and the
    // poll that follows the commands that set it.
    void commands()
    {
        QFETCH(Command, command);
        QFETCH(std::optional<Reply>, reply);
        QFETCH(int, answer);
        QFETCH(bool, busy);
        QFETCH(QStringList, sent);
        QFETCH(QStringList, seen);
        if (!reply)
            m_rig.helper.reset();
        else if (!sent.isEmpty())
            m_rig.helper->route("POST", sent[0].section(u' ', 1, 1).section(u'?', 0, 0).toUtf8(),
                                *reply);
        m_rig.dialogs.alertAnswers = {answer};
        if (answer == 0)
            m_rig.dialogs.saveAnswer = u"/tmp/Мои журналы/a+b & c#1?%.zip"_s;
        command(*m_rig.core);
        QCOMPARE(m_rig.core->busy() || m_rig.core->exporting(), busy);
        QVERIFY(settleRoundTrips());
        QVERIFY(!m_rig.core->busy() && !m_rig.core->exporting());
        QCOMPARE(shownBy(m_rig.dialogs), seen);
        if (m_rig.helper)
            QCOMPARE(requestsOf(*m_rig.helper), sent);
    }

    void pollReplies_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<int>("updateChecks"); // asked while connected
        QJsonObject textual = statusObject(connected(u"C"_s));
        textual[u"running"_s] = u"true"_s;
        QTest::newRow("503 with a status body")
            << Reply::json(503, statusBody(connected(u"B"_s))) << true << 2;
        QTest::newRow("disconnected") << Reply::json(200, statusBody(Status())) << true << 1;
        QTest::newRow("a key missing") << Reply::json(200, R"({"running":true})") << false << 1;
        QTest::newRow("a boolean as text")
            << Reply::json(200, QJsonDocument(textual).toJson()) << false << 1;
        QTest::newRow("not JSON") << Reply::text(200, "busy") << false << 1;
        QTest::newRow("no answer") << Reply::closeWithoutAnswer() << false << 1;
    }

    // A status is taken whole or not at all; one not taken keeps the last.
    void pollReplies()
    {
        QFETCH(Reply, reply);
        QFETCH(bool, taken);
        QFETCH(int, updateChecks);
        const Status first = connected(u"A"_s);
        m_rig.helper->route("GET", "/status", Reply::json(200, statusBody(first)));
        m_rig.core->connect(0); // its answer brings a poll
        QVERIFY(settleRoundTrips());
        QCOMPARE(m_rig.core->status(), first);
        QSignalSpy changes(m_rig.core.get(), &Core::statusChanged);
        m_rig.helper->route("GET", "/status", reply);
        m_rig.core->connect(0);
        QVERIFY(settleRoundTrips());
        QCOMPARE(changes.count(), taken ? 1 : 0);
        QCOMPARE(m_rig.core->status() != first, taken);
        QCOMPARE(m_rig.helper->count("GET", "/updates/status"), updateChecks);
    }

    void launch_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("extra");
        const QString restore = u"--restore-channel"_s;
        QTest::newRow("option last") << QStringList{u"ovrin"_s, u"-x"_s, restore} << QStringList{};
        QTest::newRow("first value, as it is")
            << QStringList{u"ovrin"_s, restore, restore, restore, u"B"_s}
            << QStringList{u"-restore-channel"_s, restore};
    }

    // The helper's command line; while an alert is open no tick polls, yet
    // the launch's own scan runs and a finished request is handed over; then,
    // while no status has come, quick polls follow the helper's start.
    void launch()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, extra);
        m_vpns.list({u"wg0"_s});
        m_rig.helper->route("GET", "/status", Reply::closeWithoutAnswer());
        m_rig.helper->route("POST", "/export",
                            Reply::json(200, R"({"path":"/d/x.zip"})").after(1500ms));
        m_rig.dialogs.saveAnswer = u"/d/x.zip"_s;
        m_rig.dialogs.holdModal(true);
        Core& core = launched(arguments);
        core.exportLogs();
        QTRY_COMPARE(core.parallelVPNs(), QStringList{u"wg0"_s});
        QTRY_COMPARE_WITH_TIMEOUT(m_rig.dialogs.revealed, QStringList{u"/d/x.zip"_s}, 5000);
        QCOMPARE(m_rig.helper->count("GET", "/status"), 0);
        QFile args(argsFile()); // written whole, then renamed
        QTRY_VERIFY(args.isOpen() || args.open(QIODevice::ReadOnly));
        const QString folder = m_resources.path();
        QCOMPARE(QString::fromUtf8(args.readAll()).split(u'\n', Qt::SkipEmptyParts),
                 QStringList({u"-default"_s, folder + u"/channels.json"_s, u"-engine"_s,
                              folder + u"/netcore"_s}) +
                     extra);

        m_rig.dialogs.holdModal(false);
        // At the 1 s tick alone ten polls would take ten seconds.
        QTRY_VERIFY_WITH_TIMEOUT(m_rig.helper->count("GET", "/status") >= 10, 4000);
    }

    // Every second a poll hangs for its 5 s: about five are outstanding, and
    // a command still gets its answer at once.
    void hungPollsDoNotDelayCommands()
    {
        m_rig.helper->route("GET", "/status", Reply::stall());
        m_rig.helper->route("POST", "/connect", Reply::json(200, "{}"));
        Core& core = launched();
        QTRY_VERIFY_WITH_TIMEOUT(m_rig.helper->openConnections() >= 5, 10000);
        core.connect(0);
        QVERIFY(core.busy());
        // Queued behind the hung polls, it would wait for their 5 s time-out;
        // on its own it takes milliseconds.
        QTRY_VERIFY_WITH_TIMEOUT(!core.busy(), 4000);
    }

    // Launch at login is read back from the item, not assumed; a refusal
    // goes to the system log, without an alert.
    void launchAtLogin()
    {
        FakeLoginItem& item = m_rig.loginItem;
        item.awaitsApproval = true;
        m_rig.core->setLaunchAtLogin(true);
        QVERIFY(!m_rig.core->launchAtLogin());
        item.awaitsApproval = false;
        m_rig.core->setLaunchAtLogin(true);
        QVERIFY(m_rig.core->launchAtLogin());
        item.refusal = u"нет доступа"_s;
        m_rig.core->setLaunchAtLogin(false);
        QVERIFY(m_rig.core->launchAtLogin());
        QCOMPARE(m_rig.log.lines(), QStringList{u"автозапуск: нет доступа"_s});
        QVERIFY(m_rig.dialogs.calls.isEmpty());
        item = FakeLoginItem();
    }

    void connectedNames_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<std::optional<QString>>("own");
        QTest::addColumn<QStringList>("names");
        const std::optional<QString> ours = AppIdentity::bundleIdentifier();
        const QString office = uR"(* (Connected) 1A2B-3C VPN (provider-one) "Office" [PPP:L2TP])"_s;
        const QString mine = uR"(* (Connected) 1A2B VPN (org.ovrin.menubarapp) "Мой")"_s;
        QTest::newRow("remark after the name, once")
            << office + u'\n' + office << ours << QStringList{u"Office"_s};
        QTest::newRow("own provider left out") << mine << ours << QStringList{};
        QTest::newRow("own provider counted when unknown")
            << mine << std::optional<QString>() << QStringList{u"Мой"_s};
        QTest::newRow("sorted by character code, every break")
            << u"* (Connected) 1 VPN (p) \"b\"\r\n* (Connected) 2 VPN (p) \"A\"\u2028"
               u"  (Connected) 3 VPN (p) \"a\"\u0085* (Connected) 4 VPN (p) \"C\"\u2029"
               u"* (Connected) 5 VPN (p) \"D\"\u000b* (Connected) 6 VPN (p) \"E\"\f"
               u"* (Connected) 7 VPN (p) \"F\""_s
            << ours << QStringList{u"A"_s, u"C"_s, u"D"_s, u"E"_s, u"F"_s, u"a"_s, u"b"_s};
        QTest::newRow("Unicode spaces")
            << u"\u00a0*\u2003(Connected)\u3000Ид-1\u00a0VPN\u2009(p)\u202f\"Дом\""_s << ours
            << QStringList{u"Дом"_s};
        // Disconnected, a break inside the line, an empty name, not a VPN.
        QTest::newRow("not counted") << u"* (Disconnected) 1A2B VPN (provider-one) \"Office\"\n"
                                        u"* (Connected) 1 VPN (p)\r\"A\"\n"
                                        u"* (Connected) 1 VPN (p) \"\"\n"
                                        u"* (Connected) 1 PPP (p) \"A\""_s
                                     << ours << QStringList{};
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
        CorePorts ports = fakePorts(m_rig.dialogs, m_rig.loginItem, m_rig.log);
        ports.vpns = &vpns;
        Core core(ports);
        for (int i = 0; i < 3; ++i)
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

    void updateDue_data()
    {
        QTest::addColumn<std::optional<HelperReply>>("reply");
        QTest::addColumn<bool>("due");
        const auto reply = [](int code, const QByteArray& body) {
            return std::optional(HelperReply{code, body});
        };
        QTest::newRow("true") << reply(200, R"({"due":true})") << true;
        QTest::newRow("the number 1") << reply(200, R"({"due":1})") << false;
        QTest::newRow("array") << reply(200, R"([{"due":true}])") << false;
        QTest::newRow("status 201") << reply(201, R"({"due":true})") << false;
        QTest::newRow("no reply") << std::optional<HelperReply>() << false;
    }

    void updateDue()
    {
        QFETCH(std::optional<HelperReply>, reply);
        QFETCH(bool, due);
        QCOMPARE(AppUpdates::isDue(reply), due);
    }
};

QTEST_GUILESS_MAIN(CoreTest)
#include "tst_Core.moc"
