// The center's pieces on their own: the clock and its offsets, request bodies, identifiers,
// letters, the shared document under many writers, scenario keys.
#include "CenterFolder.h"
#include "center/Center.h"
#include "center/CenterClock.h"
#include "center/CenterRandom.h"
#include "center/Mailer.h"
#include "transport/FlatBody.h"
#include "tunnel/Scenario.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <set>
#include <thread>

using namespace Qt::StringLiterals;
using namespace ovrin::helper;
using Json = nlohmann::json;

namespace {

std::string readAll(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeAll(const std::filesystem::path& file, const std::string& bytes)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

} // namespace

class HelperCenterTest : public QObject {
    Q_OBJECT

    CenterFolder m_folder;

private Q_SLOTS:
    void init() { QVERIFY(m_folder.reset()); }

    void clockOffsets_data()
    {
        QTest::addColumn<QByteArray>("environment");
        QTest::addColumn<QByteArray>("file"); // "-" for no file
        QTest::addColumn<qint64>("offset");   // -1: refused
        QTest::newRow("none") << QByteArray() << QByteArray("-") << qint64(0);
        QTest::newRow("environment") << QByteArray("3600") << QByteArray("-") << qint64(3600);
        QTest::newRow("file with a newline") << QByteArray() << QByteArray("900\n") << qint64(900);
        QTest::newRow("both add up") << QByteArray("+60") << QByteArray(" 40 ") << qint64(100);
        QTest::newRow("backwards") << QByteArray("-30") << QByteArray("-") << qint64(-30);
        QTest::newRow("not a number") << QByteArray("soon") << QByteArray("-") << qint64(-1);
        QTest::newRow("fraction in the file") << QByteArray() << QByteArray("1.5") << qint64(-1);
        QTest::newRow("beyond a century")
            << QByteArray("99999999999") << QByteArray("-") << qint64(-1);
        QTest::newRow("empty file") << QByteArray() << QByteArray("") << qint64(-1);
    }

    void clockOffsets()
    {
        QFETCH(QByteArray, environment);
        QFETCH(QByteArray, file);
        QFETCH(qint64, offset);
        if (!environment.isEmpty())
            qputenv(CenterClock::EnvironmentVariable, environment);
        const std::filesystem::path offsetFile = m_folder.root.path().toStdString() + "/offset";
        std::filesystem::remove(offsetFile);
        if (file != "-")
            writeAll(offsetFile, file.toStdString());
        const CenterClock clock(offsetFile, [] { return Start; });
        std::string error;
        const auto now = clock.now(error);
        qunsetenv(CenterClock::EnvironmentVariable);
        if (offset == -1) {
            QVERIFY(!now);
            QVERIFY(QString::fromStdString(error).contains(u"сдвиг часов"_s));
        } else {
            QCOMPARE(now, std::optional(Start + offset));
        }
    }

    void requestBodies_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("value"); // what take() gives; "!" when refused
        const auto id = QByteArray(32, 'a');
        const auto token = QByteArray(43, '_');
        auto row = [](const char* name, const QByteArray& body, const char* key,
                      FlatBody::Kind kind, const QByteArray& value) {
            QTest::newRow(name) << body << QByteArray(key) << int(kind) << value;
        };
        row("empty body", "", "id", FlatBody::Kind::Id, "!");
        row("id", R"({"id":")" + id + R"("})", "id", FlatBody::Kind::Id, id);
        row("id in capitals", R"({"id":")" + id.toUpper() + R"("})", "id", FlatBody::Kind::Id, "!");
        row("id too short", R"({"id":"abc"})", "id", FlatBody::Kind::Id, "!");
        row("token", R"({"t":")" + token + R"("})", "t", FlatBody::Kind::Token, token);
        row("token with a slash", R"({"t":")" + QByteArray(42, 'a') + R"(/"})", "t",
            FlatBody::Kind::Token, "!");
        row("email normalised", R"({"email":"  Anna@Example.RU "})", "email", FlatBody::Kind::Email,
            "anna@example.ru");
        row("email without @", R"({"email":"anna"})", "email", FlatBody::Kind::Email, "!");
        row("email with two @", R"({"email":"a@b@c"})", "email", FlatBody::Kind::Email, "!");
        row("email with a header break", R"({"email":"a@b.ru\r\nBcc: x@y"})", "email",
            FlatBody::Kind::Email, "!");
        row("email, cyrillic", R"({"email":"анна@почта.рф"})", "email", FlatBody::Kind::Email,
            "анна@почта.рф");
        row("device name, cyrillic", R"({"name":"Мой Mac"})", "name", FlatBody::Kind::Label,
            "Мой Mac");
        row("device name blank", R"({"name":"   "})", "name", FlatBody::Kind::Label, "!");
        row("device name with a control character", R"({"name":"a\u0007b"})", "name",
            FlatBody::Kind::Label, "!");
        row("device name too long", R"({"name":")" + QByteArray(129, 'x') + R"("})", "name",
            FlatBody::Kind::Label, "!");
        row("code upper-cased", R"({"code":" ab12cd "})", "code", FlatBody::Kind::Code, "AB12CD");
        row("relative path", R"({"path":"servers"})", "path", FlatBody::Kind::Path, "!");
        row("path", R"({"path":"/tmp/список"})", "path", FlatBody::Kind::Path, "/tmp/список");
        row("a number", R"({"id":5})", "id", FlatBody::Kind::Id, "!");
        row("nested", R"({"id":{"a":"b"}})", "id", FlatBody::Kind::Id, "!");
        row("an array", R"(["id"])", "id", FlatBody::Kind::Id, "!");
        row("not JSON", "{id:", "id", FlatBody::Kind::Id, "!");
        row("invalid UTF-8", "{\"name\":\"\xC3\x28\"}", "name", FlatBody::Kind::Label, "!");
    }

    void requestBodies()
    {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, key);
        QFETCH(int, kind);
        QFETCH(QByteArray, value);
        std::string error;
        std::optional<FlatBody> parsed = FlatBody::parse(body.toStdString(), error);
        std::optional<std::string> taken;
        if (parsed)
            taken = parsed->take(key.toStdString(), FlatBody::Kind(kind));
        if (value == "!") {
            QVERIFY(!taken);
            QVERIFY(!error.empty() || !parsed->ok());
            const QString reason = QString::fromStdString(parsed ? parsed->error() : error);
            QVERIFY2(reason.contains(QRegularExpression(u"[а-я]"_s)), qPrintable(reason));
        } else {
            QVERIFY2(parsed && parsed->ok(), error.c_str());
            QCOMPARE(QByteArray::fromStdString(taken.value_or("?")), value);
        }
    }

    void unknownFieldsAreRefused()
    {
        std::string error;
        auto body = FlatBody::parse(R"({"name":"Mac","colour":"red"})", error);
        QVERIFY(body);
        body->allowOnly({"name", "platform"});
        QVERIFY(!body->ok());
        QVERIFY(QString::fromStdString(body->error()).contains(u"«colour»"_s));
    }

    void identifiersAreSafeAndUnique()
    {
        std::set<std::string> seen;
        for (int i = 0; i < 200; ++i) {
            const std::string id = CenterRandom::id(), token = CenterRandom::token();
            const std::string code = CenterRandom::pairCode(), digits = CenterRandom::digits(6);
            QVERIFY(CenterRandom::isId(id) && CenterRandom::isToken(token));
            QVERIFY(seen.insert(id).second && seen.insert(token).second);
            QCOMPARE(code.size(), std::size_t(6));
            QVERIFY(std::all_of(code.begin(), code.end(), [](char c) {
                return CenterRandom::PairCodeAlphabet.find(c) != std::string_view::npos;
            }));
            QVERIFY(std::all_of(digits.begin(), digits.end(), ::isdigit));
        }
        QVERIFY(!CenterRandom::isToken(std::string(43, '=')));
        QVERIFY(!CenterRandom::same("abc", "abd") && CenterRandom::same("abc", "abc"));
    }

    void lettersSortNewestLast()
    {
        const std::filesystem::path outbox = m_folder.root.path().toStdString() + "/outbox";
        std::filesystem::create_directories(outbox);
        const Mailer mailer(outbox);
        std::string error;
        std::vector<std::string> sent;
        for (std::int64_t at : {Start, Start, Start + 1}) {
            const auto file =
                mailer.send(Mailer::codeLetter("anna@example.ru", "123456", CenterRandom::id(),
                                               CenterRandom::token(), false, at, 15),
                            error);
            QVERIFY2(file, error.c_str());
            sent.push_back(file->filename().string());
        }
        std::vector<std::string> sorted = sent;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(sorted, sent);
        QCOMPARE(std::set<std::string>(sent.begin(), sent.end()).size(), std::size_t(3));

        const std::string text = readAll(outbox / sent.back());
        const std::size_t split = text.find("\r\n\r\n");
        const std::string head = text.substr(0, split);
        QVERIFY(head.find("Content-Type: text/plain; charset=utf-8\r\n") != std::string::npos);
        QVERIFY(head.find("To: <anna@example.ru>\r\n") != std::string::npos);
        QVERIFY(std::all_of(head.begin(), head.end(), [](char c) { return c > 0; })); // ASCII
        const auto subject = QRegularExpression(u"Subject: =\\?UTF-8\\?B\\?([^?]+)\\?="_s)
                                 .match(QString::fromStdString(head));
        QVERIFY(subject.hasMatch());
        QCOMPARE(QString::fromUtf8(QByteArray::fromBase64(subject.captured(1).toLatin1())),
                 u"Код входа в Оврин: 123456"_s);
        QVERIFY(
            QString::fromStdString(text.substr(split)).contains(u"Код входа в Оврин: 123456"_s));
    }

    void transactionsFromManyWritersLoseNothing()
    {
        Center one(m_folder.center, false, [this] { return *m_folder.wall; });
        Center two(m_folder.center, false, [this] { return *m_folder.wall; });
        std::vector<std::thread> writers;
        std::atomic<int> failures = 0;
        for (int t = 0; t < 4; ++t)
            writers.emplace_back([&, t] {
                for (int i = 0; i < 20; ++i) {
                    const std::string email =
                        "w" + std::to_string(t) + "-" + std::to_string(i) + "@ovrin.test";
                    if ((t % 2 ? one : two).requestCode(email, std::nullopt).status != 200)
                        ++failures;
                }
            });
        for (std::thread& writer : writers)
            writer.join();
        QCOMPARE(failures.load(), 0);
        const Json document = Json::parse(readAll(m_folder.center / "center.json"));
        QCOMPARE(document["challenges"].size(), std::size_t(80));
        QCOMPARE(QDir(QString::fromStdString((m_folder.center / "outbox").string()))
                     .entryList(QDir::Files)
                     .size(),
                 80);
        const QStringList left = QDir(QString::fromStdString(m_folder.center.string()))
                                     .entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left, (QStringList{u"center.json"_s, u"center.lock"_s}));
    }

    void scenarioKeys_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<bool>("valid");
        QTest::newRow("all three")
            << QByteArray(
                   R"({"keychain_error":true,"pending_credentials":true,"mail_unavailable":true})")
            << true;
        QTest::newRow("off") << QByteArray(R"({"mail_unavailable":false})") << true;
        QTest::newRow("not a boolean") << QByteArray(R"({"keychain_error":1})") << false;
        QTest::newRow("misspelt") << QByteArray(R"({"mail_unavailible":true})") << false;
    }

    void scenarioKeys()
    {
        QFETCH(QByteArray, document);
        QFETCH(bool, valid);
        std::string error;
        const auto scenario = Scenario::parse(Json::parse(document.toStdString()), error);
        QCOMPARE(scenario.has_value(), valid);
        if (scenario && document.contains("true,\"pending"))
            QVERIFY(scenario->keychainError && scenario->pendingCredentials &&
                    scenario->mailUnavailable);
    }
};

QTEST_GUILESS_MAIN(HelperCenterTest)
#include "tst_HelperCenter.moc"
