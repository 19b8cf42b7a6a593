// The helper. Without a socket: the tunnel model, its inputs, the controller with its saved
// state and logs on a clock the test moves, and the account targets of helpers on temporary
// HOMEs that share one center folder and a wall clock the test moves. Then the built program
// over the control socket: one helper serves every row that leaves nothing behind, the other
// tests start their own. Replies are read with the application's own records.
#include "Outbox.h"
#include "account/AccountStatus.h"
#include "cabinet/CabinetData.h"
#include "center/AccountService.h"
#include "center/CenterRandom.h"
#include "common/AtomicFile.h"
#include "link/HelperSocket.h"
#include "link/Status.h"
#include "transport/FlatBody.h"
#include "transport/Router.h"
#include "tunnel/Logs.h"
#include "tunnel/StateStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fstream>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using namespace ovrin::helper;
using Json = nlohmann::json;

namespace {

constexpr std::int64_t Start = 1'800'000'000;
const std::string Session = "s3cret";
const std::string Samples = OVRIN_RESOURCE_DIR "/sample-servers";
const Simulation::TimePoint T0 = Simulation::TimePoint() + 1h;
// The built helper's: the installation is its slow answer, and the I/O time-out is short for
// the client that never finishes its request.
const QByteArray Netcore = R"({"format":1,"seed":11,"tick_ms":100,"verify_after_ms":2000,
    "install_ms":3000})";
constexpr int IoTimeoutMs = 3000;

QByteArray q(const std::string& text)
{
    return QByteArray::fromStdString(text);
}

std::string readAll(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeAll(const std::filesystem::path& file, const std::string& bytes)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

QStringList filesIn(const std::filesystem::path& folder)
{
    return QDir(QString::fromStdString(folder.string())).entryList(QDir::Files | QDir::Hidden);
}

// Amsterdam is the faster one, Riga the one of the lowest latency.
std::vector<ChannelProfile> channels()
{
    return {{"Амстердам", 40, 80'000'000, 30'000'000, ChannelProfile::Transport::Udp},
            {"Riga", 20, 50'000'000, 20'000'000, ChannelProfile::Transport::Tcp}};
}

EngineProfile engine()
{
    std::string error;
    return EngineProfile::parse(Json::parse(R"({"format":1,"seed":3,"tick_ms":100,
        "latency_after_ms":1000,"verify_after_ms":3000,"check_period_ms":5000})"),
                                error)
        .value();
}

Settings installed(bool autoconnect = false)
{
    return {true, autoconnect, false, {}, {}, {}, {}};
}

struct Answer {
    int status = 0;
    Json body;
    std::string error() const { return body.is_object() ? body.value("error", "") : ""; }
    std::string text(const char* key) const { return body.value(key, ""); }
};

// Account replies that are not a JSON object, or failures without an error.
QStringList misshapen;

// The letter's code or a wrong one; with a device, a sign-in, else a confirmation.
Json verification(const Letter& sent, bool right = true, bool device = true)
{
    Json body = device ? Json{{"name", "Mac"}, {"platform", "macOS"}} : Json::object();
    body["challenge_id"] = sent.challenge.toStdString();
    body["code"] = right ? sent.code.toStdString() : sent.code == u"000000"_s ? "999999" : "000000";
    return body;
}

Json qrLink(const Json& request)
{
    return {{"id", request["id"]}, {"qr_token", request["qr_token"]}};
}

// One helper without a socket: a controller on a temporary HOME with a clock the test moves,
// the account targets on `center` with the wall clock `wall`, and the router.
struct Rig {
    QTemporaryDir home;
    DataFolder folder = DataFolder::forHome(home.path().toStdString());
    std::filesystem::path center;
    std::shared_ptr<std::int64_t> wall;
    std::shared_ptr<Controller::TimePoint> now = std::make_shared<Controller::TimePoint>(T0);
    std::unique_ptr<Controller> controller;
    std::unique_ptr<AccountService> account;
    std::unique_ptr<Router> router;

    explicit Rig(std::filesystem::path centerFolder = {},
                 std::shared_ptr<std::int64_t> clock = std::make_shared<std::int64_t>(Start))
        : center(centerFolder.empty() ? folder.root / "center" : std::move(centerFolder))
        , wall(std::move(clock))
    {
        std::string error;
        folder.create(error);
        start();
    }

    void start(std::optional<std::string> restore = {})
    {
        controller = std::make_unique<Controller>(Controller::Setup{
            channels(), engine(), {}, folder, [now = now] { return *now; }, "9.9"});
        controller->start(std::move(restore));
        account = std::make_unique<AccountService>(
            *controller, AccountService::Setup{folder, center, [wall = wall] { return *wall; }});
        account->start();
        router = std::make_unique<Router>(*controller, Session, *account);
    }

    // Stops cleanly (which saves the state), then starts on `saved` when given.
    void restart(std::optional<Settings> saved = {})
    {
        router.reset();
        account.reset();
        controller->shutdown();
        controller.reset();
        if (saved)
            StateStore(folder.state()).save(*saved);
        start();
    }

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

    Status status() { return Status::fromJson(q(call("GET", "/status").body)).value(); }

    // An account request as the application sends it: a flat JSON object, also for GET.
    Answer ask(const std::string& method, const std::string& target,
               const Json& body = Json::object(), std::map<std::string, std::string> headers = {})
    {
        const Reply reply = call(method, target, body.is_null() ? "{}" : body.dump(), headers);
        Answer answer{reply.status, Json::parse(reply.body, nullptr, false)};
        if (!answer.body.is_object() || (reply.status != 200 && answer.error().empty()))
            misshapen << QString::fromStdString(target + " " + reply.body);
        return answer;
    }

    Answer post(const std::string& to, const Json& body = Json::object())
    {
        return ask("POST", to, body);
    }

    AccountStatus accountStatus()
    {
        return AccountStatus::fromJson(q(call("GET", "/account/status").body)).value();
    }

    bool imported() { return post("/account/bootstrap", {{"path", Samples}}).status == 200; }

    Letter letter(const std::string& email) const
    {
        return newestLetter(QString::fromStdString(center.string()), QString::fromStdString(email));
    }

    // Asks for a code for `email` and presents it from this computer.
    Answer signIn(const std::string& email, const Json& extra = Json::object())
    {
        post("/account/auth/request", {{"email", email}});
        Json body = verification(letter(email));
        body.update(extra);
        return post("/account/auth/verify", body);
    }

    // A new device's pairing request: "id", "secret", "qr_token".
    Json openRequest()
    {
        return post("/account/pair/requests", {{"name", "Новый Mac"}, {"platform", "macOS"}}).body;
    }

    Answer poll(const Json& request)
    {
        return ask("GET", "/account/pair/status?id=" + request.value("id", ""), {},
                   {{"x-pair-secret", request.value("secret", "")}});
    }
};

// What reading `input` as `kind` gives: a summary of the result, or "!" and the reason.
std::string parsed(const std::string& kind, const std::string& input)
{
    std::string error;
    if (kind == "target") { // "TARGET NAME": the path and the value of query parameter NAME
        const std::size_t space = input.rfind(' ');
        const auto target = Target::parse(input.substr(0, space));
        return target ? target->path() + "|" +
                            target->query(input.substr(space + 1)).value_or("<none>")
                      : "!";
    }
    const Json document = Json::parse(input, nullptr, false);
    // A request body whose first field is of kind `kind`; "only" allows "name" and "platform".
    const std::map<std::string, FlatBody::Kind> kinds{
        {"id", FlatBody::Kind::Id},       {"token", FlatBody::Kind::Token},
        {"email", FlatBody::Kind::Email}, {"label", FlatBody::Kind::Label},
        {"only", FlatBody::Kind::Label},  {"code", FlatBody::Kind::Code},
        {"path", FlatBody::Kind::Path}};
    auto body = FlatBody::parse(input, error);
    if (!body)
        return "!" + error;
    if (kind == "only")
        body->allowOnly({"name", "platform"});
    const std::string key =
        document.is_object() && !document.empty() ? document.begin().key() : std::string("id");
    const auto taken = body->take(key, kinds.at(kind));
    return taken && body->ok() ? *taken : "!" + body->error();
}

sockaddr_un addressOf(const QByteArray& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()) + 1);
    return address;
}

// A raw connection that has sent `bytes`; -1 when that failed.
int connectRaw(const QByteArray& path, const QByteArray& bytes)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = addressOf(path);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::send(fd, bytes.constData(), size_t(bytes.size()), 0) != bytes.size()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Everything the peer sends until it closes (true), or until `timeoutMs` pass without a byte.
bool readToEnd(int fd, int timeoutMs, QByteArray& all)
{
    pollfd wait{fd, POLLIN, 0};
    char chunk[4096];
    while (::poll(&wait, 1, timeoutMs) == 1) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return n == 0;
        all.append(chunk, n);
    }
    return false;
}

// The built helper on a temporary HOME, its own unless shared with another.
struct Helper {
    std::shared_ptr<QTemporaryDir> dir;
    QString data = dir->path() + u"/Library/Application Support/Ovrin"_s;
    QByteArray socket = QFile::encodeName(data + u"/control.sock"_s);
    QProcess process;

    explicit Helper(std::shared_ptr<QTemporaryDir> home = std::make_shared<QTemporaryDir>())
        : dir(std::move(home))
    {}

    static QStringList args(const QString& engine)
    {
        return {u"-default"_s, QStringLiteral(OVRIN_RESOURCE_DIR) + u"/channels.json"_s,
                u"-engine"_s, engine};
    }

    void launch(const QStringList& args, const QString& scenario = {}, const QString& timeout = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_s, dir->path());
        environment.insert(u"OVRIN_UPDATE_SESSION"_s, QString::fromStdString(Session));
        environment.insert(u"OVRIN_IO_TIMEOUT_MS"_s,
                           timeout.isNull() ? QString::number(IoTimeoutMs) : timeout);
        environment.insert(u"OVRIN_SIM_SCENARIO"_s, scenario);
        environment.remove(u"OVRIN_CENTER_DIR"_s);
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(OVRIN_HELPER_BINARY), args);
    }

    // Starts it and waits until it answers.
    bool start(const QString& engine, const QStringList& extra = {})
    {
        launch(args(engine) + extra);
        return QTest::qWaitFor(
            [&] { return process.state() == QProcess::Running && call("GET", u"/status"_s); },
            10000);
    }

    // The exit code after `signal`; -1 when it did not end by itself.
    int stop(int signal = SIGTERM)
    {
        if (process.state() != QProcess::Running || ::kill(pid_t(process.processId()), signal))
            return -1;
        return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit
                   ? process.exitCode()
                   : -1;
    }

    std::optional<HelperReply> call(const char* method, const QString& target,
                                    const QByteArray& payload = {})
    {
        return HelperSocket::roundTripAt(socket, QString::fromLatin1(method), target, 20, payload);
    }

    Status status() { return Status::fromJson(call("GET", u"/status"_s).value().body).value(); }
};

} // namespace

class HelperTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_root;
    std::filesystem::path m_center = m_root.path().toStdString() + "/center";
    std::shared_ptr<std::int64_t> m_wall = std::make_shared<std::int64_t>(Start);
    QString m_engine = m_root.filePath(u"netcore"_s);
    Helper m_shared;

private Q_SLOTS:
    void initTestCase()
    {
        qunsetenv(CenterClock::EnvironmentVariable); // the center clock is the test's alone
        writeAll(m_engine.toStdString(), Netcore.toStdString());
        QVERIFY(m_shared.start(m_engine));
    }

    void cleanupTestCase() { QCOMPARE(m_shared.stop(), 0); }

    void init()
    {
        std::filesystem::remove_all(m_center);
        *m_wall = Start;
        misshapen.clear();
    }

    void cleanup() { QVERIFY2(misshapen.isEmpty(), qPrintable(misshapen.join(u'\n'))); }

    void inputs_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected"); // "!" and a part of the reason when refused
        auto row = [](const char* kind, const QByteArray& input, const QByteArray& expected) {
            QTest::addRow("%s %s", kind, qPrintable(QString::fromUtf8(input)))
                << QByteArray(kind) << input << expected;
        };
        row("target", "/connect?i=3 i", "/connect|3");
        row("target", "/export?to=/tmp/a+b%2Bc.zip to", "/export|/tmp/a+b+c.zip");
        row("target", "/export?to=%2Ftmp%2F%D0%B6%20x.zip to", "/export|/tmp/ж x.zip");
        row("target", "/stop?x&reason=update reason", "/stop|update");
        row("target", "/export?to=%2 to", "!");
        row("target", "/export?to=%zz to", "!");
        row("target", "status to", "!");
        const QByteArray id(32, 'a'), token(43, '_');
        row("id", "", "!Не указано поле «id»");
        row("id", R"({"id":")" + id + R"("})", id);
        row("id", R"({"id":")" + id.toUpper() + R"("})", "!заполнено неверно");
        row("id", R"({"id":5})", "!должно быть строкой");
        row("id", R"(["id"])", "!объектом JSON");
        row("token", R"({"t":")" + token + R"("})", token);
        row("token", R"({"t":")" + QByteArray(42, 'a') + R"(/"})", "!заполнено неверно");
        row("email", R"({"email":"  Anna@Example.RU "})", "anna@example.ru");
        row("email", R"({"email":"a@b@c"})", "!заполнено неверно");
        row("email", R"({"email":"a@b.ru\r\nBcc: x@y"})", "!заполнено неверно");
        row("label", R"({"name":"Мой Mac"})", "Мой Mac");
        row("label", R"({"name":"   "})", "!заполнено неверно");
        row("label", R"({"name":")" + QByteArray(129, 'x') + R"("})", "!заполнено неверно");
        row("label", "{\"name\":\"\xC3\x28\"}", "!");
        row("only", R"({"name":"Mac","colour":"red"})", "!Неизвестное поле «colour»");
        row("code", R"({"code":" ab12cd "})", "AB12CD");
        row("path", R"({"path":"servers"})", "!заполнено неверно");
    }

    void inputs()
    {
        QFETCH(QByteArray, kind);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        const QByteArray result = q(parsed(kind.toStdString(), input.toStdString()));
        if (expected.startsWith('!'))
            QVERIFY2(result.startsWith('!') && result.contains(expected.mid(1)),
                     result.constData());
        else
            QCOMPARE(result, expected);
    }

    void commandsAndRestarts()
    {
        Rig rig;
        // Two requests share one installation.
        Outcome first = rig.router->handle({"POST", "/install", {}, {}});
        *rig.now += 1s;
        Outcome second = rig.router->handle({"POST", "/install", {}, {}});
        QVERIFY(first.delay == 3000ms && second.delay == 2000ms && !rig.status().helper);
        *rig.now += 2s;
        QVERIFY(first.later().reply.status == 200 && second.later().reply.status == 200);
        QCOMPARE(rig.call("POST", "/connect?i=7").status, 400);
        QVERIFY(rig.status().helper && rig.status().message.contains(u'7'));
        QCOMPARE(rig.call("POST", "/connect?i=1").status, 200);
        *rig.now += 5s;
        Status s = rig.status();
        QVERIFY(s.running && s.verified && s.latency_ms > 0 && s.message.isEmpty());
        QVERIFY(s.best_bps.value(1) == s.peak_bps && s.peak_bps > 0);
        QCOMPARE(rig.call("POST", "/autoconnect?on=1").status, 200);
        QCOMPARE(rig.call("POST", "/protection?on=1").status, 204);
        QCOMPARE(rig.call("POST", "/connect?i=0").status, 200);
        // Installed, and connected at start-up by the automatic choice: the lowest latency.
        rig.restart();
        s = rig.status();
        QVERIFY(s.helper && s.autoconnect && s.protected_ && s.running && s.auto_ && s.active == 1);
        QVERIFY(!rig.router->handle({"POST", "/install", {}, {}}).deferred());
        QCOMPARE(rig.call("POST", "/autoconnect/cancel").status, 200);
        QVERIFY(!rig.status().auto_);
        for (const char* command : {"/autoconnect?on=0", "/protection?on=0", "/connect?i=0"})
            rig.call("POST", command);
        rig.restart();
        s = rig.status();
        QVERIFY(!s.running && !s.protected_ && s.active == 0); // the last channel stays selected
        // Without the privileged part nothing connects at start-up; an unknown channel is named.
        rig.restart(Settings{});
        rig.start("Riga");
        QVERIFY(!rig.status().running && rig.status().message.contains(u"установите"_s));
        rig.restart(installed());
        rig.start("Лондон");
        QVERIFY(!rig.status().running && rig.status().message.contains(u"«Лондон» не найден"_s));
    }

    void updateSession_data()
    {
        QTest::addColumn<QByteArray>("session"); // empty: no header
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("code");
        auto row = [](const char* name, const char* session, const char* body, int code) {
            QTest::newRow(name) << QByteArray(session) << QByteArray(body) << code;
        };
        row("known", "s3cret", "{\"build\":42}", 200);
        row("no body", "s3cret", "", 400);
        row("build as text", "s3cret", "{\"build\":\"4\"}", 400);
        row("a prefix", "s3c", "{\"build\":1}", 403);
        row("no header", "", "{\"build\":42}", 403);
    }

    void updateSession()
    {
        QFETCH(QByteArray, session);
        QFETCH(QByteArray, body);
        QFETCH(int, code);
        Rig rig;
        rig.restart(installed());
        rig.call("POST", "/connect?i=0");
        std::map<std::string, std::string> headers;
        if (!session.isEmpty())
            headers[Router::SessionHeader] = session.toStdString();
        QCOMPARE(rig.call("POST", "/updates/intent", body.toStdString(), headers).status, code);
        QCOMPARE(rig.call("POST", "/stop?reason=update", {}, headers).status,
                 code == 403 ? 403 : 200);
        QCOMPARE(rig.status().running, code == 403);
        // A saved connection comes back once, at the next start only.
        rig.restart();
        QCOMPARE(rig.status().running, code == 200);
        rig.restart();
        QVERIFY(!rig.status().running);
    }

    void unusableStateMeansDefaults_data()
    {
        QTest::addColumn<QByteArray>("contents");
        const QByteArray head =
            R"({"format":1,"installed":true,"autoconnect":false,"protection":false,)";
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("cut short") << QByteArray("{\"format\":1,\"installed\":tr");
        QTest::newRow("wrong type")
            << QByteArray(R"({"format":1,"installed":"yes","autoconnect":true,"protection":1})");
        QTest::newRow("newer format")
            << QByteArray(R"({"format":2,"installed":true,"autoconnect":true,"protection":true})");
        QTest::newRow("sign-in not an identifier")
            << QByteArray(head + R"("account_id":"../../etc","device_id":"x y"})");
        QTest::newRow("half a sign-in") << QByteArray(
            head + R"("account_id":"0123456789abcdef0123456789abcdef","device_id":""})");
        QTest::newRow("applied channels described wrongly")
            << QByteArray(head + R"("applied_channels":[{"name":"","latency_ms":1,"down_bps":1000,)"
                                 R"("up_bps":1000,"transport":"udp"}]})");
    }

    void unusableStateMeansDefaults()
    {
        QFETCH(QByteArray, contents);
        Rig rig;
        rig.restart(installed());
        writeAll(rig.folder.state(), contents.toStdString());
        rig.start(); // no clean shutdown: also an unclean exit
        QVERIFY(!rig.status().helper);
        QStringList events;
        for (const QString& name : filesIn(rig.folder.logs() / "crashes"))
            events << QString::fromStdString(
                Json::parse(readAll(rig.folder.logs() / "crashes" / name.toStdString()))["event"]);
        events.sort();
        QCOMPARE(events, (QStringList{u"corrupt_state"_s, u"unclean_exit"_s}));
        QCOMPARE(rig.call("POST", "/clear-logs").status, 204);
        QVERIFY(filesIn(rig.folder.logs() / "crashes").isEmpty());
    }

    void stateIsReplacedWhole()
    {
        QTemporaryDir dir;
        const std::filesystem::path folder = dir.path().toStdString(), file = folder / "s.json";
        const StateStore store(file);
        QVERIFY(!store.load().found && !store.load().problem);
        Settings saved = installed(true);
        saved.lastChannel = "Рига";
        saved.session = {std::string(32, 'a'), std::string(32, 'b')};
        saved.appliedChannels = channels();
        QVERIFY(!store.save(saved) && !store.save(saved));
        QCOMPARE(store.load().settings, saved);
        QCOMPARE(filesIn(folder), QStringList{u"s.json"_s});
        struct stat info {};
        QVERIFY(::stat(file.c_str(), &info) == 0 && (info.st_mode & 0777) == 0600);
        // A failed write leaves the old file and no temporary one.
        std::filesystem::create_directory(folder / "taken");
        QVERIFY(AtomicFile::write(folder / "taken", "x", 0600));
        QVERIFY(AtomicFile::write(folder / "missing" / "s.json", "x", 0600));
        QCOMPARE(filesIn(folder), QStringList{u"s.json"_s});
        QCOMPARE(store.load().settings, saved);
    }

    // A helper killed while it writes leaves its temporary files behind, and every unclean stop
    // adds a snapshot: the next start removes only the temporaries of its own files and keeps
    // the newest snapshots.
    void startClearsWhatKilledRunsLeft()
    {
        Rig rig;
        const QString root = QString::fromStdString(rig.folder.root.string()) + u'/';
        const std::filesystem::path crashes = rig.folder.logs() / "crashes";
        const QStringList ours =
            QString::fromUtf8(
                ".helper-state.json.a1B2c3 .helper.pid.Zz9Yy8 servers/.servers.json.sig.q1W2e3 "
                "logs/crashes/.crash-20250101T000000Z-77-1.json.AbCdEf center/.center.json.x9X9x9 "
                "center/outbox/.20250101T000000Z-001-anna@example.ru.eml.Qq1Ww2")
                .split(u' ');
        const QStringList foreign =
            QString::fromUtf8("helper-state.json.a1B2c3 .helper-state.json.a1B2c .notes.txt.a1B2c3 "
                              "servers/.servers.json.a1-2c3 logs/crashes/crash-notes.json "
                              "logs/crashes/.crash-notes.json.a1B2c3")
                .split(u' ');
        QVERIFY(QDir().mkpath(root + u"servers"_s) && QDir().mkpath(root + u"center/outbox"_s));
        for (const QString& name : ours + foreign)
            writeAll(QString(root + name).toStdString(), "");
        QStringList snapshots; // oldest first
        for (int day = 1; day <= 7; ++day) {
            snapshots << u"crash-2025010%1T000000Z-100-1.json"_s.arg(day);
            const std::filesystem::path file = crashes / snapshots.back().toStdString();
            writeAll(file, "{}");
            std::filesystem::last_write_time(file, std::filesystem::file_time_type::clock::now() -
                                                       24h * (9 - day));
        }
        rig.start(); // no clean shutdown: this start adds a snapshot of its own
        for (const QString& name : ours)
            QVERIFY2(!QFile::exists(root + name), qPrintable(name));
        for (const QString& name : foreign)
            QVERIFY2(QFile::exists(root + name), qPrintable(name));
        QStringList kept = filesIn(crashes);
        for (const QString& name : snapshots.mid(3) + foreign.mid(4))
            QVERIFY2(kept.removeOne(name.section(u'/', -1)), qPrintable(kept.join(u' ')));
        QCOMPARE(kept.size(), 1);
        QVERIFY(q(readAll(crashes / kept.front().toStdString())).contains("unclean_exit"));
    }

    void logsRotateAndSnapshot()
    {
        const std::filesystem::path folder = m_root.filePath(u"logs"_s).toStdString();
        Logs logs(folder, 4096);
        for (int i = 0; i < 300; ++i)
            logs.info("line " + std::to_string(i) + " " + std::string(70, 'x'));
        QCOMPARE(filesIn(folder), (QStringList{u"helper.log"_s, u"helper.log.1"_s,
                                               u"helper.log.2"_s, u"helper.log.3"_s}));
        for (const QString& name : filesIn(folder))
            QVERIFY(std::filesystem::file_size(folder / name.toStdString()) <= 4096);
        const std::filesystem::path snapshot = logs.snapshot("test_event", {{"why", "test"}});
        const Json document = Json::parse(readAll(snapshot));
        QVERIFY(document["event"] == "test_event" && document["details"]["why"] == "test");
        QVERIFY(q(document["log_tail"].dump()).contains("line 299 "));
        QCOMPARE(logs.collect().back().name, "crashes/" + snapshot.filename().string());
    }

    void serverList_data()
    {
        QTest::addColumn<QByteArray>("change");
        QTest::addColumn<QString>("error"); // empty: accepted
        QTest::newRow("edited and signed again") << QByteArray("resign") << QString();
        QTest::newRow("tampered") << QByteArray("tamper") << u"Подпись списка серверов"_s;
        QTest::newRow("no signature") << QByteArray("nosig") << u"servers.json.sig"_s;
        QTest::newRow("signed, not JSON") << QByteArray("notjson") << u"не JSON"_s;
        QTest::newRow("signed, port 0") << QByteArray("port0") << u"каналы описаны неверно"_s;
        QTest::newRow("short signature") << QByteArray("short") << u"64 байта"_s;
        QTest::newRow("no list") << QByteArray("nolist") << u"нет списка серверов"_s;
    }

    void serverList()
    {
        QFETCH(QByteArray, change);
        QFETCH(QString, error);
        Rig rig(m_center, m_wall);
        const std::filesystem::path folder = rig.home.filePath(u"list"_s).toStdString();
        std::filesystem::create_directory(folder);
        QByteArray list = q(readAll(Samples + "/servers.json"));
        QByteArray signature = q(readAll(Samples + "/servers.json.sig"));
        if (change == "resign" || change == "tamper")
            list.replace("Эстония — Таллин", "Эстония — Тарту");
        if (change == "port0")
            list.replace("\"port\": 8443", "\"port\": 0");
        list = change == "notjson" ? "{\"channels\": [" : list;
        signature.chop(change == "short" ? 1 : 0);
        if (change != "nolist")
            writeAll(folder / "servers.json", list.toStdString());
        if (change != "nosig")
            writeAll(folder / "servers.json.sig", signature.toStdString());
        if (change == "resign" || change == "notjson" || change == "port0") // as a publisher would
            QCOMPARE(QProcess::execute(QStringLiteral(OVRIN_SIGN_SCRIPT),
                                       {QString::fromStdString(folder.string())}),
                     0);
        QVERIFY(!rig.accountStatus().bootstrap);
        const Answer answer = rig.post("/account/bootstrap", {{"path", folder.string()}});
        QCOMPARE(answer.status, error.isEmpty() ? 200 : 400);
        QVERIFY2(QString::fromStdString(answer.error()).contains(error), answer.error().c_str());
        std::filesystem::remove_all(folder); // the helper keeps its own copy, checked at start
        rig.restart();
        QCOMPARE(rig.accountStatus().bootstrap, error.isEmpty());
    }

    void signInByTheLetter()
    {
        Rig rig(m_center, m_wall), other(m_center, m_wall);
        const Json anna = {{"email", "anna@example.ru"}};
        QCOMPARE(rig.post("/account/auth/request", anna).error(),
                 "Сначала импортируйте подписанный список серверов.");
        QVERIFY(rig.imported() && other.imported());
        // Five wrong codes end the challenge.
        const Answer requested = rig.post("/account/auth/request", anna);
        Letter sent = rig.letter(anna["email"]);
        QCOMPARE(requested.text("challenge_id"), sent.challenge.toStdString());
        for (int i = 0; i < 5; ++i)
            QCOMPARE(rig.post("/account/auth/verify", verification(sent, false)).error(),
                     "invalid_code");
        QCOMPARE(rig.post("/account/auth/verify", verification(sent)).error(), "invalid_code");
        // The link of a new letter signs in, once.
        rig.post("/account/auth/request", anna);
        sent = rig.letter(anna["email"]);
        Json link = verification(sent);
        link.erase("code");
        link["link_token"] = sent.linkToken.toStdString();
        QVERIFY(rig.post("/account/auth/verify", link).body == Json::object());
        const AccountStatus in = rig.accountStatus();
        QVERIFY(in.signed_in && in.active && in.bootstrap && in.plan == u"Пробный период"_s);
        QVERIFY(QRegularExpression(u"^[0-9a-f]{32}$"_s).match(in.device_id).hasMatch());
        QCOMPARE(other.post("/account/auth/verify", link).error(), "invalid_code");
        // Signed in, a letter confirms the account's e-mail and signs nobody in.
        QCOMPARE(rig.post("/account/auth/request", anna).status, 200);
        sent = rig.letter(anna["email"]);
        QVERIFY(sent.linkToken.isEmpty());
        QCOMPARE(rig.post("/account/auth/verify", verification(sent, false, false)).error(),
                 "invalid_code");
        QCOMPARE(rig.post("/account/auth/verify", verification(sent, true, false)).status, 200);
        QCOMPARE(rig.post("/account/auth/verify", verification(sent, true, false)).error(),
                 "invalid_code");
        QCOMPARE(rig.post("/account/auth/request", {{"email", "b@x.ru"}}).status, 409);
        const Answer again = rig.signIn(anna["email"]);
        QVERIFY2(again.status == 409 && again.error().find("уже вошёл") != std::string::npos,
                 again.error().c_str());
        rig.restart();
        QCOMPARE(rig.accountStatus(), in);
        *m_wall += 7 * Center::Day; // the trial ends
        QVERIFY(!rig.accountStatus().active);
        // More than five letters to one address in ten minutes are refused.
        for (int i = 0; i < 5; ++i)
            QCOMPARE(other.post("/account/auth/request", {{"email", "b@x.ru"}}).status, 200);
        QCOMPARE(other.post("/account/auth/request", {{"email", "b@x.ru"}}).error(),
                 "rate_limited");
        QCOMPARE(other.post("/account/auth/request", {{"email", "b"}}).error(), "invalid_email");
    }

    void deviceReplacement()
    {
        Rig first(m_center, m_wall), second(m_center, m_wall), third(m_center, m_wall);
        QVERIFY(first.imported() && second.imported() && third.imported());
        const Answer full = first.signIn("full@ovrin.test");
        QVERIFY(full.error() == "device_limit" && full.body["devices"].size() == 3);
        // The same code again, naming the device to replace.
        Json again = verification(first.letter("full@ovrin.test"));
        again["replace_device_id"] = full.body["devices"][0]["id"];
        QCOMPARE(first.post("/account/auth/verify", again).status, 200);
        QCOMPARE(first.accountStatus().plan, u"Стандарт на месяц"_s);
        QCOMPARE(second.post("/account/auth/verify", again).error(), "invalid_code"); // used up
        // Another computer chose the same device from the list it was shown earlier.
        const Json gone = {{"replace_device_id", again["replace_device_id"]}};
        QCOMPARE(second.signIn("full@ovrin.test", gone).error(), "email_verification_required");
        QVERIFY(!second.accountStatus().signed_in);
        // A device replaced from another computer is signed out.
        const std::string mine = first.accountStatus().device_id.toStdString();
        QCOMPARE(third.signIn("full@ovrin.test", {{"replace_device_id", mine}}).status, 200);
        const AccountStatus out = first.accountStatus();
        QVERIFY(!out.signed_in && out.device_id.isEmpty() && !out.error.isEmpty());
        QCOMPARE(first.ask("GET", "/account/cabinet").error(), "not_signed_in");
    }

    void pairing()
    {
        Rig old(m_center, m_wall), fresh(m_center, m_wall), other(m_center, m_wall);
        QCOMPARE(fresh.post("/account/pair/requests", {{"name", "M"}, {"platform", "P"}}).status,
                 409);
        QVERIFY(old.imported() && fresh.imported() && other.imported());
        QCOMPARE(old.signIn("pair@example.ru").status, 200);
        // By QR: the signed-in device sees who asks and approves once.
        const Json request = fresh.openRequest();
        const std::string status = "/account/pair/status?id=" + request.value("id", "");
        const Answer pending = fresh.poll(request);
        QVERIFY(pending.text("status") == "pending" && pending.body["expires_in"] > 300);
        QCOMPARE(fresh.ask("GET", status, {}, {{"x-pair-secret", CenterRandom::token()}}).status,
                 403);
        QCOMPARE(fresh.ask("GET", status).status, 403);
        QCOMPARE(fresh.poll({{"id", CenterRandom::id()}, {"secret", request["secret"]}}).error(),
                 "not_found");
        QCOMPARE(fresh.ask("GET", "/account/pair/status?id=../../x").status, 400);
        const Json forged = {{"id", request["id"]}, {"qr_token", CenterRandom::token()}};
        QCOMPARE(old.post("/account/pair/inspect", forged).status, 403);
        const Answer inspected = old.post("/account/pair/inspect", qrLink(request));
        QVERIFY(inspected.text("name") == "Новый Mac" && inspected.text("platform") == "macOS");
        QCOMPARE(old.post("/account/pair/approve", qrLink(request)).status, 200);
        const Answer approved = fresh.poll(request);
        QVERIFY(approved.text("status") == "approved" && approved.body["profile_pending"] == false);
        QVERIFY(fresh.accountStatus().signed_in);
        QCOMPARE(old.post("/account/pair/approve", qrLink(request)).status, 409);
        const auto cabinet = CabinetData::fromJson(q(old.call("GET", "/account/cabinet").body));
        QVERIFY(cabinet && cabinet->devices.size() == 2 && cabinet->loaded_at == Start);
        QCOMPARE(cabinet->subscription.ends_at, Start + 7 * Center::Day);
        // By code: typed in any case, claimed by the new device, approved by the old one.
        const Answer code = old.post("/account/pair/codes");
        const QString typed = QString::fromStdString(code.text("code"));
        QVERIFY(QRegularExpression(u"^[A-HJ-NP-Z2-9]{6}$"_s).match(typed).hasMatch());
        const std::string codeStatus = "/account/pair/code-status?id=" + code.text("id");
        QCOMPARE(old.ask("GET", codeStatus).text("status"), "open");
        const Json second = other.openRequest();
        Json claim = {{"id", second["id"]}, {"secret", second["secret"]}, {"code", "ZZZZZZ"}};
        QCOMPARE(other.post("/account/pair/claim", claim).error(), "invalid_code");
        claim["code"] = typed.toLower().toStdString();
        QCOMPARE(other.post("/account/pair/claim", claim).status, 200);
        const Answer claimed = old.ask("GET", codeStatus);
        QVERIFY(claimed.text("status") == "claimed" && claimed.body["request_id"] == second["id"]);
        const Json approval = {{"id", code.text("id")}, {"request_id", second["id"]}};
        QCOMPARE(old.post("/account/pair/code-approve", approval).status, 200);
        QVERIFY(other.poll(second).text("status") == "approved" && other.accountStatus().signed_in);
        // The account is full now: approval is refused and the request stays open; five wrong
        // codes end it.
        Rig late(m_center, m_wall);
        QVERIFY(late.imported());
        const Json third = late.openRequest();
        const Answer refused = old.post("/account/pair/approve", qrLink(third));
        QVERIFY(refused.error() == "device_limit" && refused.body["devices"].size() == 3);
        QCOMPARE(late.poll(third).text("status"), "pending");
        old.post("/account/pair/codes");
        claim = {{"id", third["id"]}, {"secret", third["secret"]}, {"code", "222222"}};
        for (int i = 0; i < 5; ++i)
            QCOMPARE(late.post("/account/pair/claim", claim).error(), "invalid_code");
        QCOMPARE(late.post("/account/pair/claim", claim).error(), "not_found");
    }

    void expiries_data()
    {
        QTest::addColumn<QByteArray>("what");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("error");
        auto row = [](const char* what, int seconds, int status, const char* error) {
            QTest::newRow(what) << QByteArray(what) << seconds << status << QByteArray(error);
        };
        row("code", 900, 400, "invalid_code"); // of the letter
        row("qr", 60, 410, "expired");
        row("request", 360, 404, "not_found");
        row("pair-code", 300, 410, "expired");
    }

    // The clock moved by the center folder's "clock-offset" file, as every helper sees it.
    void expiries()
    {
        QFETCH(QByteArray, what);
        QFETCH(int, seconds);
        QFETCH(int, status);
        QFETCH(QByteArray, error);
        Rig old(m_center, m_wall), fresh(m_center, m_wall);
        QVERIFY(old.imported() && fresh.imported());
        QCOMPARE(old.signIn("clock@example.ru").status, 200);
        fresh.post("/account/auth/request", {{"email", "late@example.ru"}});
        const Letter sent = fresh.letter("late@example.ru");
        const Json request = fresh.openRequest();
        const std::string codeId = old.post("/account/pair/codes").text("id");
        auto attempt = [&]() -> Answer {
            if (what == "code")
                return fresh.post("/account/auth/verify", verification(sent));
            if (what == "qr")
                return old.post("/account/pair/inspect", qrLink(request));
            return what == "request" ? fresh.poll(request)
                                     : old.ask("GET", "/account/pair/code-status?id=" + codeId);
        };
        // Still valid a second before the end (a sign-in would use the code up), not at it.
        writeAll(m_center / "clock-offset", std::to_string(seconds - 1));
        QVERIFY(what == "code" || attempt().status == 200);
        writeAll(m_center / "clock-offset", std::to_string(seconds) + "\n");
        const Answer late = attempt();
        QVERIFY2(late.status == status && q(late.error()) == error, late.body.dump().c_str());
    }

    void sessionCommands()
    {
        Rig rig(m_center, m_wall);
        rig.restart(installed());
        QVERIFY(rig.imported());
        QCOMPARE(rig.post("/account/apply").error(), "not_signed_in");
        QCOMPARE(rig.signIn("session@example.ru").status, 200);
        QCOMPARE(rig.call("POST", "/connect?i=0").status, 200);
        QCOMPARE(rig.post("/account/apply").error(),
                 "Отключите соединение перед применением новых серверов.");
        rig.call("POST", "/stop");
        QCOMPARE(rig.post("/account/apply").status, 200);
        QStringList listed;
        const Json list = Json::parse(readAll(Samples + "/servers.json"));
        for (const Json& channel : list["channels"])
            listed << QString::fromStdString(channel["name"]);
        QCOMPARE(rig.status().channels, listed);
        rig.start(); // saved before the answer: served after a start without a clean stop
        QCOMPARE(rig.status().channels, listed);
        QCOMPARE(rig.post("/account/refresh").status, 200);
        QCOMPARE(rig.call("POST", "/connect?i=1").status, 200);
        QCOMPARE(rig.post("/account/logout").status, 200);
        const AccountStatus out = rig.accountStatus();
        QVERIFY(!rig.status().running && !out.signed_in && out.device_id.isEmpty() &&
                out.bootstrap);
        QCOMPARE(rig.post("/account/refresh").status, 401);
        // A center document that cannot be read is reported, never replaced.
        QCOMPARE(rig.signIn("session@example.ru").status, 200);
        writeAll(m_center / "center.json", "{\"format\": 1, \"accounts\": ");
        QVERIFY(rig.accountStatus().signed_in &&
                rig.accountStatus().error.contains(u"повреждено"_s));
        QCOMPARE(rig.ask("GET", "/account/cabinet").status, 503);
        QCOMPARE(readAll(m_center / "center.json"), "{\"format\": 1, \"accounts\": ");
    }

    void everyTargetAnswers_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("key"); // a member of the JSON body; "" for a text or no body
        auto row = [](const char* method, const QString& target, int code, const QString& key,
                      const QByteArray& payload = {}) {
            QTest::addRow("%s %s", method, qPrintable(target))
                << QByteArray(method) << target << payload << code << key;
        };
        row("GET", u"/status"_s, 200, u"verified"_s);
        row("POST", u"/connect?i=99"_s, 400, {});
        row("POST", u"/connect?i=0"_s, 409, {}); // the privileged part is not installed
        row("POST", u"/stop"_s, 200, u"running"_s);
        row("POST", u"/autoconnect?on=0"_s, 200, u"autoconnect"_s);
        row("POST", u"/protection?on=0"_s, 204, {});
        row("GET", u"/updates/status"_s, 200, u"due"_s);
        row("POST", u"/updates/intent"_s, 200, u"saved"_s, "{\"build\":5}");
        row("GET", u"/account/status"_s, 200, u"bootstrap"_s);
        row("POST", u"/account/pair/claim"_s, 409, u"error"_s, "{}"); // no server list
        row("POST", u"/account/bootstrap"_s, 400, u"error"_s, "path=/tmp");
        row("GET", u"/unknown"_s, 404, {});
        row("POST", u"/status"_s, 405, {});
        row("POST", u"/stop?reason=later"_s, 400, {});
        row("POST", u"/protection"_s, 400, {});
        row("POST", u"/export"_s, 400, {});
        row("POST", u"/export?to=logs.zip"_s, 400, {});
        row("POST", u"/export?to=/tmp/a%00.zip"_s, 400, {});
        row("POST", u"/export?to=/nonexistent/x.zip"_s, 500, {});
        row("POST", u"/export?to="_s + m_shared.dir->filePath(u"logs.zip"_s), 200, u"path"_s);
    }

    // Framed by HelperSocket as the application frames it, with the update session.
    void everyTargetAnswers()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, target);
        QFETCH(QByteArray, payload);
        QFETCH(int, code);
        QFETCH(QString, key);
        const auto request =
            HelperSocket::frame(QString::fromLatin1(method), target, payload,
                                {{u"X-Ovrin-Update-Session"_s, QString::fromStdString(Session)}});
        QByteArray raw;
        const int fd = connectRaw(m_shared.socket, request.value());
        QVERIFY(fd >= 0 && readToEnd(fd, 10000, raw));
        ::close(fd);
        const auto reply = HelperSocket::parseReply(raw);
        QVERIFY2(reply && reply->status == code, raw.constData());
        const QByteArray head = raw.left(raw.indexOf("\r\n\r\n") + 2);
        QVERIFY(head.startsWith(QByteArray("HTTP/1.0 " + QByteArray::number(code) + " ")));
        QVERIFY(!head.contains(" Status ") && (code == 204) == reply->body.isEmpty());
        const QByteArray length = "Content-Length: " + QByteArray::number(reply->body.size());
        QVERIFY(code == 204 || head.contains(QByteArray(length + "\r\n")));
        QVERIFY(code == 204 || head.contains(key.isEmpty() ? "text/plain; charset=utf-8\r\n"
                                                           : "application/json\r\n"));
        QVERIFY(key.isEmpty() || QJsonDocument::fromJson(reply->body).object().contains(key));
        QVERIFY((key != u"running"_s && key != u"verified"_s) || Status::fromJson(reply->body));
        if (code == 400 && target.startsWith(u"/connect"_s))
            QCOMPARE(m_shared.status().message.toUtf8(), reply->body);
    }

    // A client that never finishes its request, one waiting for the slow installation, garbage
    // and an oversized body: the others are answered meanwhile, and the first is dropped after
    // the I/O time-out without an answer.
    void badClientsDoNotHoldOthers()
    {
        QElapsedTimer clock;
        clock.start();
        const int halfSent = connectRaw(m_shared.socket, "GET /status HTTP/1.0\r\nHost: x\r\n");
        const int slow = connectRaw(m_shared.socket, "POST /install HTTP/1.0\r\n\r\n");
        QByteArray garbage, installed, nothing;
        const int malformed = connectRaw(m_shared.socket, "NONSENSE\r\n\r\n");
        QVERIFY(halfSent >= 0 && slow >= 0 && readToEnd(malformed, 10000, garbage));
        ::close(malformed);
        QVERIFY2(garbage.startsWith("HTTP/1.0 400 ") && garbage.contains("text/plain"),
                 garbage.constData());
        std::atomic<int> answered = 0;
        std::vector<std::thread> clients;
        for (int i = 0; i < 8; ++i)
            clients.emplace_back([&] {
                for (int j = 0; j < 4; ++j)
                    answered += m_shared.call("GET", u"/status"_s)->status == 200;
            });
        for (std::thread& client : clients)
            client.join();
        QCOMPARE(answered.load(), 32);
        pollfd waiting[2] = {{halfSent, POLLIN, 0}, {slow, POLLIN, 0}};
        QVERIFY2(::poll(waiting, 2, 0) == 0, "a bad client was answered or dropped before them");
        // HelperSocket writes the whole request before it reads: it still gets the answer.
        QCOMPARE(m_shared.call("POST", u"/export"_s, QByteArray(2 << 20, 'x'))->status, 413);
        QVERIFY(readToEnd(slow, 20000, installed));
        QVERIFY(Status::fromJson(installed.mid(installed.indexOf("\r\n\r\n") + 4))->helper);
        // Closed without an answer, by the shortened time-out rather than the default 10 s.
        QVERIFY(readToEnd(halfSent, 5000, nothing));
        QVERIFY(nothing.isEmpty() && clock.elapsed() >= IoTimeoutMs - 100);
        ::close(halfSent);
        ::close(slow);
    }

    void badStartsExplainThemselves_data()
    {
        QTest::addColumn<QString>("args"); // CHANNELS and ENGINE: the resources' and the test's
        // A bad scenario or time-out, or a file of the data folder linked to nowhere.
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("message");
        const QString good = u"-default CHANNELS -engine ENGINE"_s;
        auto row = [](const char* name, const QString& args, const QString& setup, int code,
                      const char* message) {
            QTest::newRow(name) << args << setup << code << QByteArray(message);
        };
        row("unknown argument", good + u" -v"_s, {}, 64, "unknown argument '-v'");
        row("no channel list", u"-default /no/c.json -engine ENGINE"_s, {}, 66, "/no/c.json");
        row("engine not JSON", u"-default CHANNELS -engine CHANNELS"_s, {}, 66, "engine profile");
        row("bad scenario", good, u"scenario"_s, 66, "OVRIN_SIM_SCENARIO");
        row("bad I/O time-out", good, u"timeout"_s, 64, "OVRIN_IO_TIMEOUT_MS");
        row("lock file a link", good, u"helper.lock"_s, 71, "helper.lock is a symbolic link");
        row("socket a link", good, u"control.sock"_s, 71, "control.sock is a symbolic link");
    }

    void badStartsExplainThemselves()
    {
        QFETCH(QString, args);
        QFETCH(QString, setup);
        QFETCH(int, code);
        QFETCH(QByteArray, message);
        Helper helper;
        const QString nowhere = helper.dir->filePath(u"elsewhere"_s);
        const QString scenario = helper.dir->filePath(u"scenario.json"_s);
        if (setup.contains(u'.'))
            QVERIFY(QDir().mkpath(helper.data) && QFile::link(nowhere, helper.data + u'/' + setup));
        writeAll(scenario.toStdString(), "{\"stall\":1}");
        args.replace(u"CHANNELS"_s, QStringLiteral(OVRIN_RESOURCE_DIR) + u"/channels.json"_s);
        helper.launch(args.replace(u"ENGINE"_s, m_engine).split(u' '),
                      setup == u"scenario"_s ? scenario : QString(),
                      setup == u"timeout"_s ? u"0"_s : QString());
        QVERIFY(helper.process.waitForFinished(10000));
        QCOMPARE(helper.process.exitCode(), code);
        const QByteArray error = helper.process.readAllStandardError();
        QVERIFY2(error.contains(message) && error.count('\n') == 1, error.constData());
        QVERIFY(!QFile::exists(QFile::decodeName(helper.socket)) && !QFile::exists(nowhere));
        QVERIFY(!setup.contains(u'.') || QFileInfo(helper.data + u'/' + setup).isSymLink());
    }

    void oneHelperPerDataFolder()
    {
        Helper first, second(first.dir);
        QVERIFY(QDir().mkpath(first.data));
        writeAll(QString(first.data + u"/helper-state.json"_s).toStdString(),
                 R"({"format":1,"installed":true,"autoconnect":false,"protection":false})");
        QVERIFY(first.start(m_engine));
        struct stat info {};
        QVERIFY(::stat(QFile::encodeName(first.data).constData(), &info) == 0 &&
                (info.st_mode & 0777) == 0700);
        QVERIFY(::stat(first.socket.constData(), &info) == 0 && (info.st_mode & 0777) == 0600);
        second.launch(Helper::args(m_engine));
        QVERIFY(second.process.waitForFinished(10000) && second.process.exitCode() == 75);
        QVERIFY(second.process.readAllStandardError().contains("already"));
        const QString name = first.status().channels.value(3);
        // Killed outright, it leaves a stale socket: the next helper replaces it, records the
        // unclean end and connects the channel its command line names.
        first.process.kill();
        QVERIFY(first.process.waitForFinished(10000) &&
                QFile::exists(QFile::decodeName(first.socket)));
        QVERIFY(first.start(m_engine, {u"-restore-channel"_s, name}));
        QVERIFY(first.status().running && first.status().activeChannel() == name);
        QCOMPARE(QDir(first.data + u"/logs/crashes"_s).entryList(QDir::Files).size(), 1);
        // SIGINT ends it as cleanly as SIGTERM (which ends the shared one): the socket file and
        // the pid file go, the state is saved.
        QCOMPARE(first.call("POST", u"/autoconnect?on=1"_s)->status, 200);
        QCOMPARE(first.stop(SIGINT), 0);
        QVERIFY(!QFile::exists(QFile::decodeName(first.socket)) &&
                !QFile::exists(first.data + u"/helper.pid"_s));
        QVERIFY(Json::parse(readAll(QString(first.data + u"/helper-state.json"_s).toStdString()))
                    .value("autoconnect", false));
        // A socket another program answers on is never taken over.
        const int other = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_un address = addressOf(first.socket);
        QVERIFY(::bind(other, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0);
        QCOMPARE(::listen(other, 4), 0);
        second.launch(Helper::args(m_engine));
        QVERIFY(second.process.waitForFinished(10000));
        ::close(other);
        QCOMPARE(second.process.exitCode(), 75);
        QVERIFY(second.process.readAllStandardError().contains("not taking it over"));
    }
};

QTEST_GUILESS_MAIN(HelperTest)
#include "tst_Helper.moc"
