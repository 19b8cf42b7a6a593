// The controller behind the router, its saved state, logs and archives, on a temporary data
// folder and a clock the test moves.
#include "center/AccountService.h"
#include "common/AtomicFile.h"
#include "transport/Router.h"
#include "tunnel/Controller.h"
#include "tunnel/LogArchive.h"
#include "tunnel/Logs.h"
#include "tunnel/StateStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>

#include <sys/stat.h>
#include <zip.h>

using namespace std::chrono_literals;
using namespace ovrin::helper;
using Json = nlohmann::json;

namespace {

const std::string Session = "s3cret";

QByteArray q(const std::string& text)
{
    return QByteArray::fromStdString(text);
}

bool flag(const Json& object, const char* key)
{
    return object.at(key).get<bool>();
}

qint64 integer(const Json& object, const char* key)
{
    return object.at(key).get<qint64>();
}

QByteArray text(const Json& object, const char* key)
{
    return q(object.at(key).get<std::string>());
}

QStringList filesIn(const std::filesystem::path& folder)
{
    return QDir(QString::fromStdString(folder.string())).entryList(QDir::Files | QDir::Hidden);
}

std::map<std::string, std::string> unzip(const std::filesystem::path& file)
{
    std::map<std::string, std::string> entries;
    int error = 0;
    zip_t* archive = zip_open(file.c_str(), ZIP_RDONLY, &error);
    if (archive == nullptr)
        return entries;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t info;
        zip_stat_index(archive, zip_uint64_t(i), 0, &info);
        std::string bytes(info.size, '\0');
        zip_file_t* entry = zip_fopen_index(archive, zip_uint64_t(i), 0);
        zip_fread(entry, bytes.data(), info.size);
        zip_fclose(entry);
        entries[info.name] = bytes;
    }
    zip_close(archive);
    return entries;
}

// One helper without a socket: a controller on a temporary home, a router, a movable clock.
struct Rig {
    QTemporaryDir home;
    std::shared_ptr<Controller::TimePoint> now =
        std::make_shared<Controller::TimePoint>(Controller::TimePoint() + 1h);
    DataFolder folder = DataFolder::forHome(home.path().toStdString());
    std::unique_ptr<Controller> controller;
    std::unique_ptr<AccountService> account;
    std::unique_ptr<Router> router;

    explicit Rig(Scenario scenario = {}, std::optional<std::string> restore = {})
    {
        std::string error;
        folder.create(error);
        start(std::move(scenario), std::move(restore));
    }

    void start(Scenario scenario = {}, std::optional<std::string> restore = {})
    {
        EngineProfile engine;
        engine.seed = 3;
        engine.tick = 100ms;
        engine.verifyAfter = 2000ms;
        engine.install = 3000ms;
        std::vector<ChannelProfile> channels{
            {"Амстердам", 40, 80'000'000, 30'000'000, ChannelProfile::Transport::Udp},
            {"Riga", 20, 50'000'000, 20'000'000, ChannelProfile::Transport::Tcp}};
        controller = std::make_unique<Controller>(Controller::Setup{
            channels, engine, std::move(scenario), folder, [now = now] { return *now; }, "9.9"});
        controller->start(restore);
        account = std::make_unique<AccountService>(
            *controller, AccountService::Setup{folder, folder.root / "center", {}});
        account->start();
        router = std::make_unique<Router>(*controller, Session, *account);
    }

    // Stops cleanly (which saves the state), then starts on `saved` when given.
    void restart(Scenario scenario = {}, std::optional<std::string> restore = {},
                 std::optional<Settings> saved = {})
    {
        router.reset();
        account.reset();
        controller->shutdown();
        controller.reset();
        if (saved)
            StateStore(folder.state()).save(*saved);
        start(std::move(scenario), std::move(restore));
    }

    void install() { restart({}, {}, Settings{true, false, false, {}, {}, {}, {}}); }

    // Waits out deferred answers on the test clock.
    Reply call(const std::string& method, const std::string& target, const std::string& body = {},
               const std::map<std::string, std::string>& headers = {})
    {
        Outcome outcome = router->handle({method, target, headers, body});
        while (outcome.deferred()) {
            *now += outcome.delay;
            outcome = outcome.later();
        }
        return outcome.reply;
    }

    Json status() { return Json::parse(controller->status().dump()); }
};

} // namespace

class HelperStateTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void statusHasExactlyTheNineteenKeys()
    {
        Rig rig;
        rig.install();
        rig.call("POST", "/connect?i=0");
        *rig.now += 5s;
        const Json status = Json::parse(rig.call("GET", "/status").body);
        const std::map<std::string, Json::value_t> types{
            {"running", Json::value_t::boolean},
            {"active", Json::value_t::number_integer},
            {"auto", Json::value_t::boolean},
            {"latency_ms", Json::value_t::number_integer},
            {"down_bps", Json::value_t::number_integer},
            {"up_bps", Json::value_t::number_integer},
            {"peak_bps", Json::value_t::number_integer},
            {"best_bps", Json::value_t::array},
            {"check_wait_ms", Json::value_t::number_integer},
            {"check_total_ms", Json::value_t::number_integer},
            {"check_next_ms", Json::value_t::number_integer},
            {"message", Json::value_t::string},
            {"channels", Json::value_t::array},
            {"helper", Json::value_t::boolean},
            {"primary", Json::value_t::boolean},
            {"autoconnect", Json::value_t::boolean},
            {"protected", Json::value_t::boolean},
            {"protection_armed", Json::value_t::boolean},
            {"verified", Json::value_t::boolean}};
        QCOMPARE(status.size(), types.size());
        for (const auto& [key, type] : types) {
            QVERIFY2(status.contains(key), key.c_str());
            const bool integral = type == Json::value_t::number_integer;
            QVERIFY2(integral ? status[key].is_number_integer() : status[key].type() == type,
                     key.c_str());
        }
        for (const Json& best : status["best_bps"])
            QVERIFY(best.is_number_integer());
        QVERIFY(flag(status, "running") && flag(status, "verified"));
        QVERIFY(integer(status, "latency_ms") > 0);
        QVERIFY(status["best_bps"][0] == status["peak_bps"]);
    }

    void badIndexShowsAMessageUntilAConnect()
    {
        Rig rig;
        rig.install();
        QCOMPARE(rig.call("POST", "/connect?i=7").status, 400);
        QVERIFY(text(rig.status(), "message").contains("7"));
        QCOMPARE(rig.call("POST", "/connect?i=1").status, 200);
        QCOMPARE(text(rig.status(), "message"), QByteArray());
        QCOMPARE(integer(rig.status(), "active"), 1);
    }

    void installTakesItsTimeAndStays()
    {
        Rig rig;
        Outcome first = rig.router->handle({"POST", "/install", {}, {}});
        QVERIFY(first.deferred());
        QCOMPARE(first.delay, 3000ms);
        *rig.now += 1s;
        Outcome second = rig.router->handle({"POST", "/install", {}, {}});
        QCOMPARE(second.delay, 2000ms); // joins the installation already running
        QCOMPARE(flag(rig.status(), "helper"), false);
        *rig.now += 2s;
        QCOMPARE(first.later().reply.status, 200);
        QCOMPARE(second.later().reply.status, 200);
        QCOMPARE(flag(rig.status(), "helper"), true);

        rig.restart();
        QCOMPARE(flag(rig.status(), "helper"), true);
        QVERIFY(!rig.router->handle({"POST", "/install", {}, {}}).deferred());
    }

    void settingsSurviveARestart()
    {
        Rig rig;
        rig.install();
        QCOMPARE(rig.call("POST", "/autoconnect?on=1").status, 200);
        QCOMPARE(rig.call("POST", "/protection?on=1").status, 204);
        QCOMPARE(flag(rig.status(), "protection_armed"), true);

        rig.restart();
        Json status = rig.status();
        QCOMPARE(flag(status, "autoconnect"), true);
        QCOMPARE(flag(status, "protected"), true);
        QCOMPARE(flag(status, "running"), true); // connected at start-up
        QCOMPARE(integer(status, "active"), 1);  // the automatic choice: the lowest latency
        QCOMPARE(flag(status, "protection_armed"), false);
        QCOMPARE(rig.call("POST", "/stop").status, 200);
        QCOMPARE(flag(rig.status(), "protection_armed"), true);
        // A stop with no tunnel running opens the internet, until the next
        // connection ends.
        QCOMPARE(rig.call("POST", "/stop").status, 200);
        QCOMPARE(flag(rig.status(), "protection_armed"), false);
        QCOMPARE(flag(rig.status(), "protected"), true);
        QCOMPARE(rig.call("POST", "/connect?i=1").status, 200);
        QCOMPARE(rig.call("POST", "/stop").status, 200);
        QCOMPARE(flag(rig.status(), "protection_armed"), true);

        rig.call("POST", "/autoconnect?on=0");
        rig.call("POST", "/protection?on=0");
        rig.restart();
        status = rig.status();
        QCOMPARE(flag(status, "running"), false);
        QCOMPARE(flag(status, "protected"), false);
        QCOMPARE(integer(status, "active"), 1); // the last channel stays selected
    }

    void startUpConnection_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("autoconnect");
        QTest::addColumn<QByteArray>("restore"); // empty: none
        QTest::addColumn<int>("active");         // -1: not running
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("restore") << true << false << QByteArray("Амстердам") << 0 << QByteArray();
        QTest::newRow("restore wins over the automatic choice")
            << true << true << QByteArray("Амстердам") << 0 << QByteArray();
        QTest::newRow("restore unknown")
            << true << false << QByteArray("Лондон") << -1 << QByteArray("«Лондон» не найден");
        QTest::newRow("restore uninstalled")
            << false << false << QByteArray("Riga") << -1 << QByteArray("установите");
        QTest::newRow("automatic choice") << true << true << QByteArray() << 1 << QByteArray();
        QTest::newRow("autoconnect uninstalled")
            << false << true << QByteArray() << -1 << QByteArray("установите");
        QTest::newRow("nothing to do") << true << false << QByteArray() << -1 << QByteArray();
    }

    void startUpConnection()
    {
        QFETCH(bool, installed);
        QFETCH(bool, autoconnect);
        QFETCH(QByteArray, restore);
        QFETCH(int, active);
        QFETCH(QByteArray, message);
        Rig rig;
        rig.restart({}, restore.isEmpty() ? std::nullopt : std::optional(restore.toStdString()),
                    Settings{installed, autoconnect, false, {}, {}, {}, {}});
        const Json status = rig.status();
        QCOMPARE(flag(status, "running"), active >= 0);
        if (active >= 0)
            QCOMPARE(integer(status, "active"), active);
        QVERIFY2(text(status, "message").contains(message), status.dump().c_str());
        QCOMPARE(text(status, "message").isEmpty(), message.isEmpty());
    }

    void updateSession_data()
    {
        QTest::addColumn<QByteArray>("session"); // empty: no header
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("code");
        QTest::newRow("known session")
            << QByteArray("s3cret") << QByteArray("{\"build\":42}") << 200;
        QTest::newRow("no body") << QByteArray("s3cret") << QByteArray() << 400;
        QTest::newRow("build as text")
            << QByteArray("s3cret") << QByteArray("{\"build\":\"42\"}") << 400;
        QTest::newRow("other session")
            << QByteArray("s3cre7") << QByteArray("{\"build\":42}") << 403;
        QTest::newRow("prefix of the session")
            << QByteArray("s3c") << QByteArray("{\"build\":1}") << 403;
        QTest::newRow("no header") << QByteArray() << QByteArray("{\"build\":42}") << 403;
    }

    void updateSession()
    {
        QFETCH(QByteArray, session);
        QFETCH(QByteArray, body);
        QFETCH(int, code);
        Rig rig;
        rig.install();
        rig.call("POST", "/connect?i=0");
        std::map<std::string, std::string> headers;
        if (!session.isEmpty())
            headers[Router::SessionHeader] = session.toStdString();

        QCOMPARE(rig.call("POST", "/updates/intent", body.toStdString(), headers).status, code);
        QCOMPARE(rig.call("POST", "/stop?reason=update", {}, headers).status,
                 code == 403 ? 403 : 200);
        QCOMPARE(flag(rig.status(), "running"), code == 403);

        // A saved connection comes back once, at the next start only.
        rig.restart();
        QCOMPARE(flag(rig.status(), "running"), code == 200);
        rig.restart();
        QCOMPARE(flag(rig.status(), "running"), false);
    }

    void unusableStateMeansDefaults_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("cut short") << QByteArray("{\"format\":1,\"installed\":tr");
        QTest::newRow("a list") << QByteArray("[]");
        QTest::newRow("wrong type")
            << QByteArray(R"({"format":1,"installed":"yes","autoconnect":true,"protection":1})");
        QTest::newRow("newer format")
            << QByteArray(R"({"format":2,"installed":true,"autoconnect":true,"protection":true})");
        QTest::newRow("sign-in not an identifier")
            << QByteArray(R"({"format":1,"installed":true,"autoconnect":false,"protection":false,
                "account_id":"../../etc","device_id":"x y"})");
        QTest::newRow("applied channels described wrongly")
            << QByteArray(R"({"format":1,"installed":true,"autoconnect":false,"protection":false,
                "applied_channels":[{"name":"","latency_ms":1,"down_bps":1000,"up_bps":1000,
                "transport":"udp"}]})");
        QTest::newRow("half a sign-in")
            << QByteArray(R"({"format":1,"installed":true,"autoconnect":false,"protection":false,
                "account_id":"0123456789abcdef0123456789abcdef","device_id":""})");
    }

    void unusableStateMeansDefaults()
    {
        QFETCH(QByteArray, contents);
        Rig rig;
        rig.install();
        QFile file(QString::fromStdString(rig.folder.state().string()));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents);
        file.close();
        QVERIFY(StateStore(rig.folder.state()).load().problem);

        rig.start(); // no clean shutdown: also an unclean exit
        const Json status = rig.status();
        QCOMPARE(flag(status, "helper"), false);
        QCOMPARE(flag(status, "autoconnect"), false);
        QStringList events;
        for (const QString& name : filesIn(rig.folder.logs() / "crashes")) {
            std::ifstream in(rig.folder.logs() / "crashes" / name.toStdString());
            events << QString::fromStdString(Json::parse(in)["event"].get<std::string>());
        }
        events.sort();
        QCOMPARE(events,
                 (QStringList{QStringLiteral("corrupt_state"), QStringLiteral("unclean_exit")}));
    }

    void stateIsReplacedWhole()
    {
        QTemporaryDir dir;
        const std::filesystem::path file = dir.filePath(QStringLiteral("s.json")).toStdString();
        StateStore store(file);
        QVERIFY(!store.load().found && !store.load().problem);
        const Settings settings{
            true,
            true,
            false,
            "Рига",
            "Амстердам",
            {std::string(32, 'a'), std::string(32, 'b')},
            {{"Рига", 20, 50'000'000, 20'000'000, ChannelProfile::Transport::Tcp}}};
        QVERIFY(!store.save(settings));
        QVERIFY(!store.save(settings));
        QCOMPARE(store.load().settings, settings);
        QCOMPARE(filesIn(file.parent_path()), QStringList{QStringLiteral("s.json")});
        struct stat info {};
        QCOMPARE(::stat(file.c_str(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0600u);

        // A failed write leaves the old file and no temporary one.
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("taken")));
        QVERIFY(AtomicFile::write(file.parent_path() / "taken", "x", 0600));
        QVERIFY(AtomicFile::write(file.parent_path() / "missing" / "s.json", "x", 0600));
        QCOMPARE(filesIn(file.parent_path()), QStringList{QStringLiteral("s.json")});
        QCOMPARE(store.load().settings, settings);
    }

    // A helper killed while it writes leaves its temporary files behind, and every unclean stop
    // adds a snapshot: the next start removes only the temporaries of its own files and keeps
    // the newest snapshots.
    void startClearsWhatKilledRunsLeft()
    {
        Rig rig;
        const QString root = QString::fromStdString(rig.folder.root.string()) + u'/';
        const std::filesystem::path crashes = rig.folder.logs() / "crashes";
        const QStringList ours{
            QStringLiteral(".helper-state.json.a1B2c3"),
            QStringLiteral(".helper.pid.Zz9Yy8"),
            QStringLiteral("servers/.servers.json.sig.q1W2e3"),
            QStringLiteral("logs/crashes/.crash-20250101T000000Z-77-1.json.AbCdEf"),
            QStringLiteral("center/.center.json.x9X9x9"),
            QStringLiteral("center/outbox/.20250101T000000Z-001-anna@example.ru.eml.Qq1Ww2"),
        };
        const QStringList foreign{
            QStringLiteral("helper-state.json.a1B2c3"),
            QStringLiteral(".helper-state.json.a1B2c"),
            QStringLiteral(".notes.txt.a1B2c3"),
            QStringLiteral("servers/.servers.json.a1-2c3"),
            QStringLiteral("logs/crashes/crash-notes.json"),
            QStringLiteral("logs/crashes/.crash-notes.json.a1B2c3"),
        };
        QVERIFY(QDir().mkpath(root + QStringLiteral("servers")) &&
                QDir().mkpath(root + QStringLiteral("center/outbox")));
        for (const QString& name : ours + foreign) {
            QFile file(root + name);
            QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(name));
        }
        QStringList snapshots; // oldest first
        for (int day = 1; day <= 7; ++day) {
            snapshots << QStringLiteral("crash-2025010%1T000000Z-100-1.json").arg(day);
            const std::filesystem::path file = crashes / snapshots.back().toStdString();
            std::ofstream(file) << "{}";
            std::filesystem::last_write_time(file, std::filesystem::file_time_type::clock::now() -
                                                       24h * (9 - day));
        }

        rig.start(); // no clean shutdown: this start adds a snapshot of its own
        for (const QString& name : ours)
            QVERIFY2(!QFile::exists(root + name), qPrintable(name));
        for (const QString& name : foreign)
            QVERIFY2(QFile::exists(root + name), qPrintable(name));
        QStringList kept = filesIn(crashes);
        const QStringList expected =
            snapshots.mid(3) + QStringList{QStringLiteral("crash-notes.json"),
                                           QStringLiteral(".crash-notes.json.a1B2c3")};
        for (const QString& name : expected)
            QVERIFY2(kept.removeOne(name), qPrintable(kept.join(u' ')));
        QCOMPARE(kept.size(), 1);
        std::ifstream in(crashes / kept.front().toStdString());
        QCOMPARE(text(Json::parse(in), "event"), QByteArray("unclean_exit"));
    }

    void logsRotateAtTheirSize()
    {
        QTemporaryDir dir;
        const std::filesystem::path folder = dir.path().toStdString();
        Logs logs(folder, 4096);
        for (int i = 0; i < 300; ++i)
            logs.info("line " + std::to_string(i) + " " + std::string(70, 'x'));
        QCOMPARE(filesIn(folder),
                 (QStringList{QStringLiteral("helper.log"), QStringLiteral("helper.log.1"),
                              QStringLiteral("helper.log.2"), QStringLiteral("helper.log.3")}));
        for (const QString& name : filesIn(folder))
            QVERIFY(QFileInfo(dir.filePath(name)).size() <= 4096);
        const std::vector<Logs::File> files = logs.collect();
        QCOMPARE(files.front().name, std::string("logs/helper.log.3"));
        QCOMPARE(files.back().name, std::string("logs/helper.log"));
        QVERIFY(q(files.back().bytes).contains("line 299 "));
        QVERIFY(!q(files.front().bytes).contains("line 0 ")); // the oldest fell off
    }

    void snapshotsAndClearing()
    {
        QTemporaryDir dir;
        const std::filesystem::path folder = dir.path().toStdString();
        Logs logs(folder);
        logs.info("before the failure");
        const std::filesystem::path snapshot = logs.snapshot("test_event", {{"why", "test"}});
        QVERIFY(std::filesystem::exists(snapshot));
        std::ifstream in(snapshot);
        const Json document = Json::parse(in);
        QCOMPARE(text(document, "event"), QByteArray("test_event"));
        QCOMPARE(text(document["details"], "why"), QByteArray("test"));
        QVERIFY(q(document["log_tail"].dump()).contains("before the failure"));
        QCOMPARE(logs.collect().back().name, "crashes/" + snapshot.filename().string());

        QVERIFY(logs.clear().empty());
        QVERIFY(filesIn(folder / "crashes").isEmpty());
        const std::vector<Logs::File> left = logs.collect();
        QCOMPARE(left.size(), 1u);
        QVERIFY(!q(left[0].bytes).contains("before the failure"));
        QVERIFY(q(left[0].bytes).contains("logs cleared"));
    }

    void exportWritesAZip()
    {
        Rig rig;
        rig.install();
        rig.controller->reportFailure("test_event", {});
        rig.call("POST", "/connect?i=1");
        const std::filesystem::path target =
            rig.home.filePath(QStringLiteral("а+b c.zip")).toStdString();
        const std::string encoded =
            "/export?to=" + q(target.string()).toPercentEncoding("/").toStdString();
        const Reply reply = rig.call("POST", encoded);
        QCOMPARE(reply.status, 200);
        QVERIFY(Json::parse(reply.body) == Json({{"path", target.string()}}));

        const auto entries = unzip(target);
        QVERIFY(entries.count("logs/helper.log"));
        QVERIFY(q(entries.at("logs/helper.log")).contains("connect Riga"));
        QVERIFY(entries.count("summary.txt"));
        QVERIFY(q(entries.at("summary.txt")).contains("9.9"));
        QVERIFY(q(entries.at("summary.txt")).contains("Амстердам"));
        QVERIFY(q(entries.at("summary.txt")).contains("\"running\": true"));
        QCOMPARE(std::count_if(entries.begin(), entries.end(),
                               [](const auto& e) { return e.first.starts_with("crashes/"); }),
                 1);
    }

    void exportFailures_data()
    {
        QTest::addColumn<QString>("destination"); // inside the temporary home
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("missing folder")
            << QStringLiteral("no/such/x.zip") << QByteArray("папка не существует");
        QTest::newRow("a folder") << QStringLiteral("Library")
                                  << QByteArray("по этому пути находится папка");
        QTest::newRow("under a file")
            << QStringLiteral("file/x.zip") << QByteArray("часть пути не является папкой");
    }

    void exportFailures()
    {
        QFETCH(QString, destination);
        QFETCH(QByteArray, reason);
        Rig rig;
        QFile file(rig.home.filePath(QStringLiteral("file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QStringList before = QDir(rig.home.path()).entryList(QDir::AllEntries | QDir::Hidden);
        const Reply reply =
            rig.call("POST", "/export?to=" + rig.home.filePath(destination).toStdString());
        QCOMPARE(reply.status, 500);
        QCOMPARE(q(reply.contentType), QByteArray("text/plain; charset=utf-8"));
        QVERIFY2(q(reply.body).contains(reason), reply.body.c_str());
        QVERIFY(q(reply.body).startsWith("Не удалось записать архив"));
        QCOMPARE(QDir(rig.home.path()).entryList(QDir::AllEntries | QDir::Hidden), before);
    }

    void requestsAreLogged()
    {
        Rig rig;
        for (int i = 0; i < 3; ++i)
            rig.call("GET", "/status");
        rig.call("POST", "/connect?i=0");
        *rig.now += 61s;
        rig.controller->tick();
        const std::string log = rig.controller->logs().collect().back().bytes;
        QVERIFY(q(log).contains("POST /connect?i=0 -> 409"));
        QVERIFY(q(log).contains("requests: GET /status x3"));
        QVERIFY(!q(log).contains("GET /status ->"));
    }
};

QTEST_GUILESS_MAIN(HelperStateTest)
#include "tst_HelperState.moc"
