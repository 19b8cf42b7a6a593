// The built helper as the application meets it: a child process on a temporary HOME, driven
// through HelperSocket, through curl and through raw sockets.
#include "link/HelperSocket.h"
#include "link/Status.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QByteArray UpdateSession = "contract-session";

// Ticks, delays and the installation are short so that a whole sequence fits in seconds.
const QByteArray Netcore = R"({"format":1,"seed":11,"tick_ms":100,"latency_after_ms":1000,
    "verify_after_ms":2000,"install_ms":1000,"check_period_ms":3000})";

QJsonObject object(const QByteArray& body)
{
    return QJsonDocument::fromJson(body).object();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

int connectRaw(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    std::memcpy(address.sun_path, bytes.constData(), size_t(bytes.size()) + 1);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Everything the peer sends until it closes, or until `timeoutMs` passes without a byte.
QByteArray readToEnd(int fd, int timeoutMs)
{
    QByteArray all;
    pollfd wait{fd, POLLIN, 0};
    char chunk[4096];
    while (::poll(&wait, 1, timeoutMs) == 1) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            break;
        all.append(chunk, n);
    }
    return all;
}

} // namespace

class HelperContractTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QTemporaryDir m_files;
    QString m_dataDir = m_home.path() + u"/Library/Application Support/Ovrin"_s;
    QString m_socket = m_dataDir + u"/control.sock"_s;
    std::unique_ptr<QProcess> m_helper;
    QJsonArray m_channels;

public:
    HelperContractTest()
    {
        // Before anything asks HelperSocket for its path.
        qputenv("HOME", QFile::encodeName(m_home.path()));
    }

private:
    std::unique_ptr<QProcess> launch(const QStringList& extra = {}, const QByteArray& scenario = {})
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_s, m_home.path());
        environment.insert(u"OVRIN_UPDATE_SESSION"_s, QString::fromLatin1(UpdateSession));
        environment.remove(u"OVRIN_SIM_SCENARIO"_s);
        environment.remove(u"OVRIN_CENTER_DIR"_s);
        environment.remove(u"OVRIN_SIM_CLOCK_OFFSET"_s);
        if (!scenario.isEmpty()) {
            writeFile(m_files.filePath(u"scenario.json"_s), scenario);
            environment.insert(u"OVRIN_SIM_SCENARIO"_s, m_files.filePath(u"scenario.json"_s));
        }
        process->setProcessEnvironment(environment);
        process->start(QStringLiteral(OVRIN_HELPER_BINARY),
                       QStringList{u"-default"_s,
                                   QStringLiteral(OVRIN_RESOURCE_DIR) + u"/channels.json"_s,
                                   u"-engine"_s, m_files.filePath(u"netcore"_s)} +
                           extra);
        return process;
    }

    // Starts the helper and waits until it answers.
    bool start(const QStringList& extra = {}, const QByteArray& scenario = {})
    {
        m_helper = launch(extra, scenario);
        return QTest::qWaitFor(
            [&] {
                return m_helper->state() == QProcess::Running &&
                       call("GET", u"/updates/status"_s).has_value();
            },
            5000);
    }

    // Stops it as the application does and returns its exit code (-1: it did not exit).
    int stop(int signal = SIGTERM)
    {
        if (!m_helper || m_helper->state() != QProcess::Running)
            return -1;
        ::kill(pid_t(m_helper->processId()), signal);
        const bool exited = m_helper->waitForFinished(5000);
        const int code =
            exited && m_helper->exitStatus() == QProcess::NormalExit ? m_helper->exitCode() : -1;
        m_helper.reset();
        return code;
    }

    std::optional<HelperReply> call(const char* method, const QString& target,
                                    const QByteArray& payload = {},
                                    const HelperSocket::Headers& headers = {}, double timeout = 5)
    {
        return HelperSocket::roundTrip(QString::fromLatin1(method), target, timeout, payload,
                                       headers);
    }

    Status status()
    {
        const auto reply = call("GET", u"/status"_s);
        const auto decoded = reply ? Status::fromJson(reply->body) : std::nullopt;
        return decoded.value_or(Status{});
    }

    void install() { QCOMPARE(call("POST", u"/install"_s)->status, 200); }

    QByteArray curl(const QStringList& args, int* exitCode = nullptr)
    {
        QProcess process;
        process.start(u"curl"_s, QStringList{u"-s"_s, u"--unix-socket"_s, m_socket} + args);
        process.waitForFinished(20000);
        if (exitCode)
            *exitCode = process.exitCode();
        return process.readAllStandardOutput();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid() && m_files.isValid());
        QCOMPARE(HelperSocket::path(), m_socket);
        writeFile(m_files.filePath(u"netcore"_s), Netcore);
        QFile channels(QStringLiteral(OVRIN_RESOURCE_DIR) + u"/channels.json"_s);
        QVERIFY(channels.open(QIODevice::ReadOnly));
        m_channels = object(channels.readAll())[u"channels"_s].toArray();
        QVERIFY(m_channels.size() >= 6);
    }

    void cleanup()
    {
        if (m_helper) {
            m_helper->kill();
            m_helper->waitForFinished(5000);
            m_helper.reset();
        }
        QDir(m_home.path() + u"/Library"_s).removeRecursively();
    }

    void everyTargetAnswers_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArray>("session");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("key"); // a member of the JSON body; "" for a text or no body
        auto row = [](const char* name, const char* method, const QString& target, int code,
                      const QString& key, const QByteArray& payload = {},
                      const QByteArray& session = {}) {
            QTest::newRow(name) << QByteArray(method) << target << payload << session << code
                                << key;
        };
        row("status", "GET", u"/status"_s, 200, u"verified"_s);
        row("bad index", "POST", u"/connect?i=99"_s, 400, {});
        row("not installed", "POST", u"/connect?i=0"_s, 409, {});
        row("stop", "POST", u"/stop"_s, 200, u"running"_s);
        row("autoconnect", "POST", u"/autoconnect?on=0"_s, 200, u"autoconnect"_s);
        row("manual choice", "POST", u"/autoconnect/cancel"_s, 200, u"auto"_s);
        row("protection", "POST", u"/protection?on=0"_s, 204, {});
        row("install", "POST", u"/install"_s, 200, u"helper"_s);
        row("clear logs", "POST", u"/clear-logs"_s, 204, {});
        row("updates", "GET", u"/updates/status"_s, 200, u"due"_s);
        row("intent, no session", "POST", u"/updates/intent"_s, 403, {}, "{\"build\":5}");
        row("intent", "POST", u"/updates/intent"_s, 200, u"saved"_s, "{\"build\":5}",
            UpdateSession);
        row("update stop, other session", "POST", u"/stop?reason=update"_s, 403, {}, {}, "other");
        row("update stop", "POST", u"/stop?reason=update"_s, 200, u"running"_s, {}, UpdateSession);
        row("account", "GET", u"/account/status"_s, 200, u"bootstrap"_s);
        row("account command, no server list", "POST", u"/account/pair/claim"_s, 409, u"error"_s,
            "{}");
        row("account, unknown", "POST", u"/account/nothing"_s, 404, u"error"_s, "{}");
        row("unknown", "GET", u"/unknown"_s, 404, {});
        row("wrong method", "POST", u"/status"_s, 405, {});
        row("index not a number", "POST", u"/connect?i=-1"_s, 400, {});
        row("stop for another reason", "POST", u"/stop?reason=later"_s, 400, {});
        row("switch not 0 or 1", "POST", u"/autoconnect?on=yes"_s, 400, {});
        row("protection unset", "POST", u"/protection"_s, 400, {});
        row("export nowhere", "POST", u"/export"_s, 400, {});
        row("export relative", "POST", u"/export?to=logs.zip"_s, 400, {});
        row("export with a NUL", "POST", u"/export?to=/tmp/a%00.zip"_s, 400, {});
    }

    void everyTargetAnswers()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, target);
        QFETCH(QByteArray, payload);
        QFETCH(QByteArray, session);
        QFETCH(int, code);
        QFETCH(QString, key);
        QVERIFY(start());
        HelperSocket::Headers headers;
        if (!session.isEmpty())
            headers[u"X-Ovrin-Update-Session"_s] = QString::fromLatin1(session);
        const auto reply = call(method.constData(), target, payload, headers);
        QVERIFY(reply);
        QCOMPARE(reply->status, code);
        if (code == 204)
            QVERIFY(reply->body.isEmpty());
        else if (key.isEmpty())
            QVERIFY(!reply->body.isEmpty() && QString::fromUtf8(reply->body).isValidUtf16());
        else
            QVERIFY2(object(reply->body).contains(key), reply->body.constData());
        if (key == u"running"_s || key == u"verified"_s || key == u"helper"_s)
            QVERIFY(Status::fromJson(reply->body));
        if (code == 400 && target.startsWith(u"/connect"_s))
            QCOMPARE(status().message.toUtf8(), reply->body);
    }

    void curlSeesPlainHttp_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("statusLine");
        QTest::addColumn<bool>("json");
        QTest::newRow("status") << QStringList{u"http://ovrin/status"_s}
                                << QByteArray("HTTP/1.0 200 OK") << true;
        QTest::newRow("no content") << QStringList{u"-XPOST"_s, u"http://ovrin/protection?on=1"_s}
                                    << QByteArray("HTTP/1.0 204 No Content") << false;
        QTest::newRow("bad request") << QStringList{u"-XPOST"_s, u"http://ovrin/connect?i=x"_s}
                                     << QByteArray("HTTP/1.0 400 Bad Request") << false;
        QTest::newRow("not found")
            << QStringList{u"http://ovrin/nope"_s} << QByteArray("HTTP/1.0 404 Not Found") << false;
        QTest::newRow("account") << QStringList{u"http://ovrin/account/cabinet"_s}
                                 << QByteArray("HTTP/1.0 409 Conflict") << true;
        QTest::newRow("wrong method") << QStringList{u"-XPOST"_s, u"http://ovrin/updates/status"_s}
                                      << QByteArray("HTTP/1.0 405 Method Not Allowed") << false;
    }

    void curlSeesPlainHttp()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, statusLine);
        QFETCH(bool, json);
        QVERIFY(start());
        const QByteArray reply = curl(QStringList{u"-i"_s} + args);
        const qsizetype end = reply.indexOf("\r\n\r\n");
        QVERIFY2(end > 0, reply.constData());
        QList<QByteArray> head = reply.left(end).split('\n');
        for (QByteArray& line : head)
            line = line.trimmed();
        QCOMPARE(head.first(), statusLine);
        const QByteArray body = reply.mid(end + 4);
        QCOMPARE(head.contains("Content-Type: application/json"), json);
        if (json)
            QVERIFY(QJsonDocument::fromJson(body).isObject());
        const QByteArray length = "Content-Length: " + QByteArray::number(body.size());
        QVERIFY(head.contains(length) || (body.isEmpty() && statusLine.contains(" 204 ")));
    }

    void connectShowsLatencyThenVerification()
    {
        QVERIFY(start());
        install();
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(call("POST", u"/connect?i=2"_s)->status, 200);
        Status s = status();
        QVERIFY(s.running && s.primary && !s.verified);
        QCOMPARE(s.active, 2);
        qint64 latencyAt = -1, verifiedAt = -1;
        QVERIFY(QTest::qWaitFor(
            [&] {
                s = status();
                if (s.latency_ms > 0 && latencyAt < 0)
                    latencyAt = clock.elapsed();
                if (s.verified && verifiedAt < 0)
                    verifiedAt = clock.elapsed();
                return verifiedAt >= 0;
            },
            6000));
        QVERIFY2(latencyAt >= 900 && latencyAt < verifiedAt,
                 QByteArray::number(latencyAt).constData());
        QVERIFY2(verifiedAt >= 1900 && verifiedAt < 4000,
                 QByteArray::number(verifiedAt).constData());

        const double profile = m_channels[2][u"down_bps"_s].toDouble();
        QVERIFY(s.down_bps > 0.7 * profile && s.down_bps < 1.3 * profile);
        QVERIFY(s.up_bps > 0 && s.peak_bps >= s.down_bps);
        QCOMPARE(s.best_bps.value(2), s.peak_bps);
        QCOMPARE(s.check_total_ms, 3000);
        QCOMPARE(s.check_wait_ms + s.check_next_ms, 3000);
    }

    void settingsSurviveARestart()
    {
        QVERIFY(start());
        install();
        QCOMPARE(call("POST", u"/autoconnect?on=1"_s)->status, 200);
        QCOMPARE(call("POST", u"/protection?on=1"_s)->status, 204);
        QVERIFY(status().protection_armed);
        QCOMPARE(stop(), 0);

        QVERIFY(start());
        const Status s = status();
        QVERIFY(s.helper && s.autoconnect && s.protected_ && s.running && s.auto_);
        QVERIFY(!s.protection_armed);
        // The automatic choice takes the lowest latency.
        const auto lowest = std::min_element(
            m_channels.begin(), m_channels.end(), [](const QJsonValue& a, const QJsonValue& b) {
                return a[u"latency_ms"_s].toInt() < b[u"latency_ms"_s].toInt();
            });
        QCOMPARE(s.active, lowest - m_channels.begin());
        QCOMPARE(call("POST", u"/autoconnect/cancel"_s)->status, 200);
        QVERIFY(!status().auto_);
    }

    void restoreChannelOnTheCommandLine()
    {
        QVERIFY(start());
        install();
        QCOMPARE(stop(), 0);
        const QString name = m_channels[3][u"name"_s].toString();
        QVERIFY(start({u"-restore-channel"_s, name}));
        const Status s = status();
        QVERIFY(s.running);
        QCOMPARE(s.activeChannel(), std::optional(name));
    }

    void exportWritesAZip()
    {
        QVERIFY(start());
        QCOMPARE(call("POST", u"/connect?i=0"_s)->status, 409); // something to log
        const QString destination = m_files.filePath(u"журнал +1 (копия).zip"_s);
        const QString target =
            u"/export?to="_s + QString::fromLatin1(QUrl::toPercentEncoding(destination));
        const auto reply = call("POST", target);
        QVERIFY(reply);
        QCOMPARE(reply->status, 200);
        QCOMPARE(object(reply->body)[u"path"_s].toString(), destination);

        QProcess unzip;
        unzip.start(u"unzip"_s, {u"-l"_s, destination});
        QVERIFY(unzip.waitForFinished(10000));
        QCOMPARE(unzip.exitCode(), 0);
        const QByteArray listing = unzip.readAllStandardOutput();
        QVERIFY2(listing.contains("logs/helper.log") && listing.contains("summary.txt"),
                 listing.constData());

        const QString nowhere = m_files.filePath(u"missing/logs.zip"_s);
        const auto failed =
            call("POST", u"/export?to="_s + QString::fromLatin1(QUrl::toPercentEncoding(nowhere)));
        QCOMPARE(failed->status, 500);
        QVERIFY(QString::fromUtf8(failed->body).contains(u"папка не существует"_s));
        QVERIFY(!QFile::exists(nowhere));
    }

    void clearLogsRemovesLogsAndSnapshots()
    {
        QVERIFY(QDir().mkpath(m_dataDir));
        writeFile(m_dataDir + u"/helper-state.json"_s, "{not json");
        QVERIFY(start());
        const QDir crashes(m_dataDir + u"/logs/crashes"_s);
        QCOMPARE(crashes.entryList(QDir::Files).size(), 1); // the unusable state file
        QCOMPARE(call("POST", u"/clear-logs"_s)->status, 204);
        QVERIFY(crashes.entryList(QDir::Files).isEmpty());
        QFile log(m_dataDir + u"/logs/helper.log"_s);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(!log.readAll().contains("start: version"));
    }

    void badClientsDoNotHoldOthers()
    {
        QVERIFY(start());
        const int halfSent = connectRaw(m_socket);
        QVERIFY(halfSent >= 0);
        const QByteArray head = "GET /status HTTP/1.0\r\nHost: ovrin\r\n";
        QCOMPARE(::send(halfSent, head.constData(), size_t(head.size()), 0), head.size());
        QElapsedTimer sinceHalfSent;
        sinceHalfSent.start();

        const int malformed = connectRaw(m_socket);
        ::send(malformed, "NONSENSE\r\n\r\n", 12, 0);
        const QByteArray answer = readToEnd(malformed, 5000);
        ::close(malformed);
        QVERIFY2(answer.startsWith("HTTP/1.0 400 Bad Request\r\n"), answer.constData());
        QVERIFY(answer.contains("Content-Type: text/plain"));

        writeFile(m_files.filePath(u"big"_s), QByteArray(2 * 1024 * 1024, 'x'));
        const QByteArray code =
            curl({u"-o"_s, u"/dev/null"_s, u"-w"_s, u"%{http_code}"_s, u"--data-binary"_s,
                  u"@"_s + m_files.filePath(u"big"_s), u"http://ovrin/export"_s});
        QCOMPARE(code, QByteArray("413"));
        // HelperSocket writes the whole request before it reads: it still gets the answer.
        const auto oversized = call("POST", u"/export"_s, QByteArray(2 * 1024 * 1024, 'x'));
        QVERIFY(oversized);
        QCOMPARE(oversized->status, 413);

        std::atomic<int> answered = 0;
        std::vector<std::thread> clients;
        for (int i = 0; i < 16; ++i)
            clients.emplace_back([&] {
                for (int j = 0; j < 10; ++j)
                    if (auto reply = call("GET", u"/status"_s); reply && reply->status == 200)
                        ++answered;
            });
        for (std::thread& client : clients)
            client.join();
        QCOMPARE(answered.load(), 160);
        QVERIFY(sinceHalfSent.elapsed() < 5000);

        QCOMPARE(readToEnd(halfSent, 13000), QByteArray()); // closed without an answer
        ::close(halfSent);
        QVERIFY2(sinceHalfSent.elapsed() >= 9500 && sinceHalfSent.elapsed() < 12500,
                 QByteArray::number(sinceHalfSent.elapsed()).constData());
        QVERIFY(status().channels.size() == m_channels.size());
    }

    void slowAnswerDoesNotHoldOthers()
    {
        QVERIFY(start({}, R"({"delay_ms":{"/status":3000}})"));
        QElapsedTimer clock;
        clock.start();
        const int slow = connectRaw(m_socket);
        const QByteArray request = "GET /status HTTP/1.0\r\nHost: ovrin\r\n\r\n";
        QCOMPARE(::send(slow, request.constData(), size_t(request.size()), 0), request.size());

        const auto quick = call("GET", u"/updates/status"_s);
        const qint64 quickAt = clock.elapsed();
        QVERIFY(quick && quick->status == 200);
        QVERIFY2(quickAt < 1000, QByteArray::number(quickAt).constData());

        const QByteArray answer = readToEnd(slow, 6000);
        ::close(slow);
        QVERIFY2(clock.elapsed() >= 2900, QByteArray::number(clock.elapsed()).constData());
        QVERIFY(answer.startsWith("HTTP/1.0 200 OK\r\n"));
        QVERIFY(Status::fromJson(answer.mid(answer.indexOf("\r\n\r\n") + 4)));
    }

    void scenarioShapesTheReplies()
    {
        QVERIFY(QDir().mkpath(m_dataDir));
        writeFile(m_dataDir + u"/helper-state.json"_s,
                  R"({"format":1,"installed":true,"autoconnect":false,"protection":false})");
        QVERIFY(start({}, R"({"stall_after_ms":0,"message":"Проверка сценария",
            "refuse":{"/stop":{"status":500,"body":"Отключение запрещено."},
                      "/protection":{"status":409,"body":"Защита занята."}},
            "export_failure":"диск переполнен"})"));
        QCOMPARE(call("POST", u"/connect?i=1"_s)->status, 200);
        Status s = status();
        QVERIFY(s.running && !s.primary && !s.verified);
        QCOMPARE(s.message, u"Проверка сценария"_s);

        const auto refused = call("POST", u"/stop"_s);
        QCOMPARE(refused->status, 500);
        QCOMPARE(QString::fromUtf8(refused->body), u"Отключение запрещено."_s);
        QVERIFY(status().running);
        QCOMPARE(call("POST", u"/protection?on=1"_s)->status, 409);
        const QString target = m_files.filePath(u"x.zip"_s);
        QCOMPARE(call("POST", u"/export?to="_s + target)->status, 500);
        QVERIFY(!QFile::exists(target));
        QCOMPARE(stop(), 0);

        QVERIFY(start({}, R"({"helper_missing":true})"));
        QVERIFY(!status().helper);
        QCOMPARE(call("POST", u"/install"_s)->status, 500);
        QVERIFY(!status().message.isEmpty());
    }

    void badStartsExplainThemselves_data()
    {
        QTest::addColumn<QStringList>("args"); // "ENGINE" stands for the test's netcore
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("message");
        // A file of the data folder that is a symbolic link to a path that does not exist.
        QTest::addColumn<QString>("link");
        const QString channels = QStringLiteral(OVRIN_RESOURCE_DIR) + u"/channels.json"_s;
        const QStringList good{u"-default"_s, channels, u"-engine"_s, u"ENGINE"_s};
        QTest::newRow("no arguments")
            << QStringList() << QByteArray() << 64 << QByteArray("missing -default") << QString();
        QTest::newRow("unknown argument")
            << QStringList{u"-default"_s, channels, u"-engine"_s, u"ENGINE"_s, u"-v"_s}
            << QByteArray() << 64 << QByteArray("unknown argument '-v'") << QString();
        QTest::newRow("no channel list")
            << QStringList{u"-default"_s, u"/nonexistent/channels.json"_s, u"-engine"_s,
                           u"ENGINE"_s}
            << QByteArray() << 66 << QByteArray("/nonexistent/channels.json") << QString();
        QTest::newRow("engine not JSON")
            << QStringList{u"-default"_s, channels, u"-engine"_s, channels} << QByteArray() << 66
            << QByteArray("engine profile") << QString();
        QTest::newRow("bad scenario") << good << QByteArray("{\"stall\":1}") << 66
                                      << QByteArray("OVRIN_SIM_SCENARIO") << QString();
        QTest::newRow("lock file a symbolic link")
            << good << QByteArray() << 71 << QByteArray("helper.lock is a symbolic link")
            << u"helper.lock"_s;
        QTest::newRow("socket a symbolic link")
            << good << QByteArray() << 71 << QByteArray("control.sock is a symbolic link")
            << u"control.sock"_s;
    }

    void badStartsExplainThemselves()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, scenario);
        QFETCH(int, code);
        QFETCH(QByteArray, message);
        QFETCH(QString, link);
        args.replaceInStrings(u"ENGINE"_s, m_files.filePath(u"netcore"_s));
        const QString target = m_files.filePath(u"elsewhere"_s);
        QFile::remove(target);
        if (!link.isEmpty()) {
            QVERIFY(QDir().mkpath(m_dataDir));
            QVERIFY(QFile::link(target, m_dataDir + u'/' + link));
        }
        QProcess helper;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_s, m_home.path());
        if (!scenario.isEmpty()) {
            writeFile(m_files.filePath(u"bad.json"_s), scenario);
            environment.insert(u"OVRIN_SIM_SCENARIO"_s, m_files.filePath(u"bad.json"_s));
        }
        helper.setProcessEnvironment(environment);
        helper.start(QStringLiteral(OVRIN_HELPER_BINARY), args);
        QVERIFY(helper.waitForFinished(5000));
        QCOMPARE(helper.exitCode(), code);
        const QByteArray error = helper.readAllStandardError();
        QVERIFY2(error.contains(message), error.constData());
        QCOMPARE(error.count('\n'), 1);
        QVERIFY(!QFile::exists(m_socket));
        QVERIFY(!QFile::exists(target));
        if (!link.isEmpty())
            QVERIFY(QFileInfo(m_dataDir + u'/' + link).isSymLink());
    }

    void oneHelperPerDataFolder()
    {
        QVERIFY(start());
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(m_dataDir).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0700u);
        QCOMPARE(::stat(QFile::encodeName(m_socket).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0600u);

        auto second = launch();
        QVERIFY(second->waitForFinished(5000));
        QCOMPARE(second->exitCode(), 75);
        QVERIFY(second->readAllStandardError().contains("already"));
        QVERIFY(call("GET", u"/status"_s));

        // Killed outright, it leaves a stale socket: the next helper replaces it and
        // records the unclean end.
        m_helper->kill();
        m_helper->waitForFinished(5000);
        QVERIFY(QFile::exists(m_socket));
        QVERIFY(start());
        QCOMPARE(QDir(m_dataDir + u"/logs/crashes"_s).entryList(QDir::Files).size(), 1);
        QCOMPARE(stop(), 0);

        // A socket another program answers on is never taken over.
        const int other = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, QFile::encodeName(m_socket).constData(),
                    size_t(QFile::encodeName(m_socket).size()) + 1);
        QCOMPARE(::bind(other, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        QCOMPARE(::listen(other, 4), 0);
        auto intruded = launch();
        QVERIFY(intruded->waitForFinished(5000));
        ::close(other);
        QCOMPARE(intruded->exitCode(), 75);
        QVERIFY(intruded->readAllStandardError().contains("not taking it over"));
    }

    void stopSignalsEndCleanly_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void stopSignalsEndCleanly()
    {
        QFETCH(int, signal);
        QVERIFY(start());
        QCOMPARE(call("POST", u"/autoconnect?on=1"_s)->status, 200);
        QCOMPARE(stop(signal), 0);
        QVERIFY(!QFile::exists(m_socket));
        QVERIFY(!QFile::exists(m_dataDir + u"/helper.pid"_s));
        QFile state(m_dataDir + u"/helper-state.json"_s);
        QVERIFY(state.open(QIODevice::ReadOnly));
        QCOMPARE(object(state.readAll())[u"autoconnect"_s].toBool(), true);
        QVERIFY(!call("GET", u"/status"_s));
    }
};

QTEST_GUILESS_MAIN(HelperContractTest)
#include "tst_HelperContract.moc"
