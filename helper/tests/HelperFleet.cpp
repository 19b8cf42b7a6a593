#include "HelperFleet.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QByteArray Netcore = R"({"format":1,"seed":5,"tick_ms":100,"latency_after_ms":300,
    "verify_after_ms":600,"install_ms":200,"check_period_ms":3000})";

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

} // namespace

HelperFleet::HelperFleet()
{
    writeFile(m_root.path() + u"/netcore"_s, Netcore);
}

HelperFleet::~HelperFleet()
{
    reset();
}

QString HelperFleet::home(const QString& name) const
{
    return m_root.path() + u"/home-"_s + name;
}

QByteArray HelperFleet::socket(const QString& name) const
{
    return QFile::encodeName(home(name) + u"/Library/Application Support/Ovrin/control.sock"_s);
}

QString HelperFleet::sampleServers() const
{
    return QStringLiteral(OVRIN_RESOURCE_DIR) + u"/sample-servers"_s;
}

void HelperFleet::stopAll()
{
    while (!m_helpers.empty()) {
        const QString name = m_helpers.begin()->first;
        if (!stop(name))
            m_faults << name + u": did not stop cleanly"_s;
    }
}

void HelperFleet::reset()
{
    stopAll();
    QDir(center()).removeRecursively();
    for (const QString& name : QDir(m_root.path()).entryList({u"home-*"_s}, QDir::Dirs))
        QDir(m_root.path() + u'/' + name).removeRecursively();
    m_offset = 0;
    m_faults.clear();
}

QStringList HelperFleet::finish()
{
    stopAll();
    const QStringList seen = m_faults;
    reset();
    return seen;
}

bool HelperFleet::start(const QString& name, const QByteArray& scenario)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"HOME"_s, home(name));
    environment.insert(u"OVRIN_CENTER_DIR"_s, center());
    environment.remove(u"OVRIN_SIM_CLOCK_OFFSET"_s);
    environment.remove(u"OVRIN_SIM_SCENARIO"_s);
    if (!scenario.isEmpty()) {
        const QString file = m_root.path() + u"/scenario-"_s + name + u".json"_s;
        if (!writeFile(file, scenario))
            return false;
        environment.insert(u"OVRIN_SIM_SCENARIO"_s, file);
    }
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QStringLiteral(OVRIN_HELPER_BINARY),
                   {u"-default"_s, QStringLiteral(OVRIN_RESOURCE_DIR) + u"/channels.json"_s,
                    u"-engine"_s, m_root.path() + u"/netcore"_s});
    QProcess* started = process.get();
    m_helpers[name] = std::move(process);
    return QTest::qWaitFor(
        [&] {
            return started->state() == QProcess::Running &&
                   HelperSocket::roundTripAt(socket(name), u"GET"_s, u"/account/status"_s, 2);
        },
        5000);
}

bool HelperFleet::stop(const QString& name)
{
    auto it = m_helpers.find(name);
    if (it == m_helpers.end())
        return false;
    it->second->terminate();
    const bool stopped = it->second->waitForFinished(5000) &&
                         it->second->exitStatus() == QProcess::NormalExit &&
                         it->second->exitCode() == 0;
    if (!stopped) {
        it->second->kill();
        it->second->waitForFinished(5000);
    }
    m_helpers.erase(it);
    return stopped;
}

Answer HelperFleet::call(const QString& name, const char* method, const QString& target,
                         const QJsonObject& body, const HelperSocket::Headers& headers)
{
    const auto reply =
        HelperSocket::roundTripAt(socket(name), QString::fromLatin1(method), target, 20,
                                  QJsonDocument(body).toJson(QJsonDocument::Compact), headers);
    Answer answer;
    if (!reply) {
        m_faults << target + u": no reply"_s;
        return answer;
    }
    answer.status = int(reply->status);
    answer.body = reply->body;
    const QJsonDocument document = QJsonDocument::fromJson(reply->body);
    answer.json = document.object();
    const bool shaped =
        document.isObject() &&
        (answer.status == 200 || (answer.json[u"error"_s].isString() && !answer.error().isEmpty()));
    if (!shaped)
        m_faults << target + u": "_s + QString::number(answer.status) + u" "_s +
                        QString::fromUtf8(reply->body);
    return answer;
}

std::optional<HelperReply> HelperFleet::command(const QString& name, const char* method,
                                                const QString& target)
{
    return HelperSocket::roundTripAt(socket(name), QString::fromLatin1(method), target, 10);
}

AccountStatus HelperFleet::account(const QString& name)
{
    // As the application reads it: no payload, any status code.
    const auto reply = HelperSocket::roundTripAt(socket(name), u"GET"_s, u"/account/status"_s, 5);
    const auto decoded = reply ? AccountStatus::fromJson(reply->body) : std::nullopt;
    if (!decoded)
        m_faults << u"/account/status does not decode"_s;
    return decoded.value_or(AccountStatus{});
}

bool HelperFleet::import(const QString& name, const QString& folder)
{
    const QString path = folder.isEmpty() ? sampleServers() : folder;
    return call(name, "POST", u"/account/bootstrap"_s, {{u"path"_s, path}}).status == 200;
}

Letter HelperFleet::letter(const QString& email) const
{
    return newestLetter(center(), email);
}

Answer HelperFleet::requestAndVerify(const QString& name, const QString& email,
                                     const QJsonObject& extra)
{
    if (call(name, "POST", u"/account/auth/request"_s, {{u"email"_s, email}}).status != 200)
        return {};
    const Letter sent = letter(email);
    QJsonObject body = device(u"Mac "_s + name);
    body[u"challenge_id"_s] = sent.challenge;
    body[u"code"_s] = sent.code;
    for (auto it = extra.begin(); it != extra.end(); ++it)
        body[it.key()] = it.value();
    return call(name, "POST", u"/account/auth/verify"_s, body);
}

void HelperFleet::moveClock(qint64 seconds)
{
    m_offset += seconds;
    if (!writeFile(center() + u"/clock-offset"_s, QByteArray::number(m_offset) + '\n'))
        m_faults << u"clock-offset not written"_s;
}

QJsonObject HelperFleet::openRequest(const QString& name)
{
    return call(name, "POST", u"/account/pair/requests"_s, device(u"Новый Mac"_s)).json;
}

Answer HelperFleet::pollRequest(const QString& name, const QJsonObject& request)
{
    return call(name, "GET", u"/account/pair/status?id="_s + request[u"id"_s].toString(), {},
                {{u"X-Pair-Secret"_s, request[u"secret"_s].toString()}});
}

QJsonObject HelperFleet::device(const QString& name)
{
    return {{u"name"_s, name}, {u"platform"_s, u"macOS"_s}};
}
