// The center's rules through the account targets of helpers without a socket on temporary
// HOMEs that share one center, on a wall clock the test moves: e-mail confirmation, a device
// replaced elsewhere, wrong pairing secrets and codes, a damaged center, restarts.
#include "CenterFolder.h"
#include "Outbox.h"
#include "center/AccountService.h"
#include "center/CenterRandom.h"
#include "transport/Router.h"

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using namespace ovrin::helper;
using Json = nlohmann::json;

namespace {

const std::filesystem::path SampleServers = OVRIN_SAMPLE_SERVERS;

std::string readAll(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct Answer {
    int status = 0;
    Json body;

    std::string error() const
    {
        return body.is_object() && body.contains("error") && body["error"].is_string()
                   ? body["error"].get<std::string>()
                   : std::string("<no error>");
    }
};

// One helper on its own HOME, sharing `center` and the wall clock.
struct Node {
    QTemporaryDir home;
    DataFolder folder = DataFolder::forHome(home.path().toStdString());
    std::filesystem::path center;
    std::shared_ptr<std::int64_t> wall;
    std::unique_ptr<Controller> controller;
    std::unique_ptr<AccountService> account;
    std::unique_ptr<Router> router;

    Node(std::filesystem::path centerFolder, std::shared_ptr<std::int64_t> clock)
        : center(std::move(centerFolder))
        , wall(std::move(clock))
    {
        std::string error;
        folder.create(error);
        start();
    }

    void start()
    {
        EngineProfile engine;
        engine.tick = 100ms;
        engine.verifyAfter = 1000ms;
        std::vector<ChannelProfile> channels{
            {"Амстердам", 40, 80'000'000, 30'000'000, ChannelProfile::Transport::Udp}};
        controller = std::make_unique<Controller>(Controller::Setup{
            channels, engine, {}, folder, [] { return Controller::TimePoint() + 1h; }, "9.9"});
        controller->start({});
        account = std::make_unique<AccountService>(
            *controller, AccountService::Setup{folder, center, [clock = wall] { return *clock; }});
        account->start();
        router = std::make_unique<Router>(*controller, "s", *account);
    }

    void restart()
    {
        router.reset();
        account.reset();
        controller->shutdown();
        start();
    }

    // A request as the application sends it; a null body is sent as "{}".
    Answer call(const std::string& method, const std::string& target, const Json& body = {},
                std::map<std::string, std::string> headers = {})
    {
        const std::string bytes = body.is_null() ? "{}" : body.dump();
        const Reply reply = router->handle({method, target, std::move(headers), bytes}).reply;
        return {reply.status, Json::parse(reply.body, nullptr, false)};
    }

    Json status() { return call("GET", "/account/status").body; }
    bool imported()
    {
        return call("POST", "/account/bootstrap", {{"path", SampleServers}}).status == 200;
    }
};

// The newest letter to `email` in the center folder.
Letter newestLetter(const std::filesystem::path& center, const std::string& email)
{
    return newestLetter(QString::fromStdString(center.string()), QString::fromStdString(email));
}

// Asks for a code and presents it with this device; the reply of the verification.
Answer signIn(Node& node, const std::string& email, const Json& extra = Json::object())
{
    node.call("POST", "/account/auth/request", {{"email", email}});
    const Letter letter = newestLetter(node.center, email);
    Json body = {{"challenge_id", letter.challenge.toStdString()},
                 {"code", letter.code.toStdString()},
                 {"name", "MacBook"},
                 {"platform", "macOS"}};
    body.update(extra);
    return node.call("POST", "/account/auth/verify", body);
}

} // namespace

class HelperCenterFlowsTest : public QObject {
    Q_OBJECT

    CenterFolder m_folder;

private Q_SLOTS:
    void init() { QVERIFY(m_folder.reset()); }

    void confirmingTheAccountsEmail()
    {
        Node node(m_folder.center, m_folder.wall);
        QVERIFY(node.imported());
        QCOMPARE(signIn(node, "anna@example.ru").status, 200);
        const std::string device = node.status()["device_id"];
        QCOMPARE(node.call("POST", "/account/auth/request", {{"email", "anna@example.ru"}}).status,
                 200);
        const Letter letter = newestLetter(m_folder.center, "anna@example.ru");
        QVERIFY(letter.linkToken.isEmpty()); // a confirmation letter signs nobody in
        Json body = {{"challenge_id", letter.challenge.toStdString()},
                     {"code", letter.code == u"000000"_s ? "111111" : "000000"}};
        QCOMPARE(node.call("POST", "/account/auth/verify", body).error(),
                 std::string("invalid_code"));
        body["code"] = letter.code.toStdString();
        QCOMPARE(node.call("POST", "/account/auth/verify", body).status, 200);
        QCOMPARE(node.status()["device_id"].get<std::string>(), device); // still the same sign-in
        QCOMPARE(node.call("POST", "/account/auth/verify", body).error(),
                 std::string("invalid_code")); // used up

        const Answer other =
            node.call("POST", "/account/auth/request", {{"email", "boris@example.ru"}});
        QCOMPARE(other.status, 409);
        QVERIFY(!other.error().empty());
        // Signed in, a full verification is refused rather than replacing this sign-in.
        const Answer again = signIn(node, "anna@example.ru");
        QCOMPARE(again.status, 409);
        QVERIFY(QString::fromStdString(again.error()).contains(u"уже вошёл"_s));
        QCOMPARE(node.status()["device_id"].get<std::string>(), device);
    }

    void aReplacedDeviceIsSignedOut()
    {
        Node first(m_folder.center, m_folder.wall), second(m_folder.center, m_folder.wall);
        QVERIFY(first.imported() && second.imported());
        QCOMPARE(signIn(first, "team@ovrin.test").status, 200);
        const std::string mine = first.status()["device_id"];
        // The second computer takes the first one's place.
        QCOMPARE(signIn(second, "team@ovrin.test", {{"replace_device_id", mine}}).status, 200);
        const Json status = first.status();
        QVERIFY(!status["signed_in"].get<bool>());
        QCOMPARE(status["device_id"].dump(), std::string("\"\""));
        QVERIFY(!status["error"].get<std::string>().empty());
        QCOMPARE(first.call("GET", "/account/cabinet").error(), std::string("not_signed_in"));
        QVERIFY(second.status()["signed_in"].get<bool>());
    }

    void wrongPairingSecretsAndCodes()
    {
        Node old(m_folder.center, m_folder.wall), fresh(m_folder.center, m_folder.wall);
        QVERIFY(old.imported() && fresh.imported());
        QCOMPARE(signIn(old, "pairing@ovrin.test").status, 200);
        const Json request =
            fresh.call("POST", "/account/pair/requests", {{"name", "Mac"}, {"platform", "macOS"}})
                .body;
        const std::string id = request["id"];
        QCOMPARE(fresh
                     .call("GET", "/account/pair/status?id=" + id, {},
                           {{"x-pair-secret", CenterRandom::token()}})
                     .status,
                 403);
        QCOMPARE(fresh.call("GET", "/account/pair/status?id=" + id).status, 403);
        QCOMPARE(fresh
                     .call("GET", "/account/pair/status?id=" + CenterRandom::id(), {},
                           {{"x-pair-secret", request["secret"]}})
                     .error(),
                 std::string("not_found"));
        QCOMPARE(old.call("POST", "/account/pair/inspect",
                          {{"id", id}, {"qr_token", CenterRandom::token()}})
                     .status,
                 403);
        // A short code gets five guesses per request.
        old.call("POST", "/account/pair/codes");
        const Json claim = {{"id", id}, {"secret", request["secret"]}, {"code", "222222"}};
        for (int i = 0; i < 5; ++i)
            QCOMPARE(fresh.call("POST", "/account/pair/claim", claim).error(),
                     std::string("invalid_code"));
        QCOMPARE(fresh.call("POST", "/account/pair/claim", claim).error(),
                 std::string("not_found"));
    }

    void signInSurvivesARestart()
    {
        Node node(m_folder.center, m_folder.wall);
        QVERIFY(node.imported());
        QCOMPARE(signIn(node, "anna@example.ru").status, 200);
        const Json before = node.status();
        node.restart();
        QCOMPARE(node.status().dump(), before.dump());
        QVERIFY(before["bootstrap"].get<bool>() && before["active"].get<bool>());
        QCOMPARE(before["plan"].get<std::string>(), std::string("Пробный период"));

        // Seven days of trial.
        *m_folder.wall += 7 * Center::Day;
        QVERIFY(!node.status()["active"].get<bool>());
    }

    void aDamagedCenterIsReportedNotReplaced()
    {
        Node node(m_folder.center, m_folder.wall);
        QVERIFY(node.imported());
        QCOMPARE(signIn(node, "anna@example.ru").status, 200);
        std::ofstream(m_folder.center / "center.json", std::ios::trunc)
            << std::string("{\"format\": 1, \"accounts\": ");
        const Json status = node.status();
        QVERIFY(status["signed_in"].get<bool>());
        QVERIFY(QString::fromStdString(status["error"]).contains(u"повреждено"_s));
        const Answer refused = node.call("GET", "/account/cabinet");
        QCOMPARE(refused.status, 503);
        QCOMPARE(readAll(m_folder.center / "center.json"),
                 std::string("{\"format\": 1, \"accounts\": "));
    }
};

QTEST_GUILESS_MAIN(HelperCenterFlowsTest)
#include "tst_HelperCenterFlows.moc"
