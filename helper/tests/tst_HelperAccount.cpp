// The account targets of the built helper as the application meets them: helpers as child
// processes on temporary HOMEs sharing one center folder, letters read from its outbox, replies
// decoded with the application's own records.
#include "HelperFleet.h"
#include "cabinet/CabinetData.h"
#include "link/Status.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A writable copy of the shipped sample list in `folder`.
void copySample(const QString& sample, const QString& folder)
{
    QDir().mkpath(folder);
    for (const QString& name : {u"servers.json"_s, u"servers.json.sig"_s}) {
        QFile::remove(folder + u'/' + name);
        QVERIFY(QFile::copy(sample + u'/' + name, folder + u'/' + name));
        QFile::setPermissions(folder + u'/' + name, QFile::ReadOwner | QFile::WriteOwner);
    }
}

int runSignScript(const QString& folder)
{
    QProcess script;
    script.start(QStringLiteral(OVRIN_SIGN_SCRIPT), {folder});
    return script.waitForFinished(20000) && script.exitStatus() == QProcess::NormalExit
               ? script.exitCode()
               : -1;
}

} // namespace

class HelperAccountTest : public QObject {
    Q_OBJECT

    HelperFleet m_fleet;

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_fleet.valid());
        m_fleet.reset();
    }

    void cleanup()
    {
        const QStringList faults = m_fleet.finish();
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
    }

    void importTheServerList_data()
    {
        QTest::addColumn<QByteArray>("change");
        QTest::addColumn<QString>("error"); // empty: accepted
        QTest::newRow("shipped sample") << QByteArray("none") << QString();
        QTest::newRow("edited and signed again") << QByteArray("resign") << QString();
        QTest::newRow("tampered") << QByteArray("tamper") << u"Подпись списка серверов"_s;
        QTest::newRow("no signature") << QByteArray("nosig") << u"servers.json.sig"_s;
        QTest::newRow("signed, not JSON") << QByteArray("notjson") << u"не JSON"_s;
        QTest::newRow("signed, port 0") << QByteArray("port0") << u"каналы описаны неверно"_s;
        QTest::newRow("short signature") << QByteArray("short") << u"64 байта"_s;
        QTest::newRow("no list") << QByteArray("nolist") << u"нет списка серверов"_s;
    }

    void importTheServerList()
    {
        QFETCH(QByteArray, change);
        QFETCH(QString, error);
        const QString folder = m_fleet.root() + u"/list"_s;
        QDir(folder).removeRecursively();
        copySample(m_fleet.sampleServers(), folder);
        const QString list = folder + u"/servers.json"_s;
        const QByteArray sample = readFile(list);
        QByteArray edited = sample;
        if (change == "resign" || change == "tamper")
            edited.replace("Эстония — Таллин", "Эстония — Тарту");
        if (change == "port0")
            edited.replace("\"port\": 8443", "\"port\": 0");
        if (change == "notjson")
            edited = "{\"format\": 1, \"channels\": [";
        writeFile(list, edited);
        if (change == "resign" || change == "notjson" || change == "port0")
            QCOMPARE(runSignScript(folder), 0); // signed with the demo key, as a publisher would
        if (change == "short")
            writeFile(folder + u"/servers.json.sig"_s,
                      readFile(folder + u"/servers.json.sig"_s).left(63));
        if (change == "nosig" || change == "nolist")
            QFile::remove(folder +
                          (change == "nosig" ? u"/servers.json.sig"_s : u"/servers.json"_s));

        QVERIFY(m_fleet.start(u"old"_s));
        QVERIFY(!m_fleet.account(u"old"_s).bootstrap);
        const Answer answer =
            m_fleet.call(u"old"_s, "POST", u"/account/bootstrap"_s, {{u"path"_s, folder}});
        QCOMPARE(answer.status, error.isEmpty() ? 200 : 400);
        QVERIFY2(answer.error().contains(error), qPrintable(answer.error()));
        QCOMPARE(m_fleet.account(u"old"_s).bootstrap, error.isEmpty());

        QDir(folder).removeRecursively(); // the helper kept its own copy
        QVERIFY(m_fleet.stop(u"old"_s));
        QVERIFY(m_fleet.start(u"old"_s));
        QCOMPARE(m_fleet.account(u"old"_s).bootstrap, error.isEmpty());
    }

    void signInWithTheLetter_data()
    {
        QTest::addColumn<bool>("byLink");
        QTest::newRow("code") << false;
        QTest::newRow("link") << true;
    }

    void signInWithTheLetter()
    {
        QFETCH(bool, byLink);
        QVERIFY(m_fleet.start(u"old"_s));
        QCOMPARE(m_fleet
                     .call(u"old"_s, "POST", u"/account/auth/request"_s,
                           {{u"email"_s, u"anna@example.ru"_s}})
                     .error(),
                 u"Сначала импортируйте подписанный список серверов."_s);
        QVERIFY(m_fleet.import(u"old"_s));
        const Answer requested = m_fleet.call(u"old"_s, "POST", u"/account/auth/request"_s,
                                              {{u"email"_s, u"anna@example.ru"_s}});
        QCOMPARE(requested.status, 200);
        const Letter sent = m_fleet.letter(u"anna@example.ru"_s);
        QCOMPARE(requested.text(u"challenge_id"_s), sent.challenge);
        QCOMPARE(sent.code.size(), 6);

        QJsonObject body = HelperFleet::device(u"Мой Mac"_s);
        body[u"challenge_id"_s] = sent.challenge;
        body[byLink ? u"link_token"_s : u"code"_s] = byLink ? sent.linkToken : sent.code;
        const Answer verified = m_fleet.call(u"old"_s, "POST", u"/account/auth/verify"_s, body);
        QCOMPARE(verified.status, 200);
        QCOMPARE(verified.json, QJsonObject());
        const AccountStatus status = m_fleet.account(u"old"_s);
        QVERIFY(status.signed_in && status.active && status.bootstrap);
        QCOMPARE(status.plan, u"Пробный период"_s);
        QVERIFY(QRegularExpression(u"^[0-9a-f]{32}$"_s).match(status.device_id).hasMatch());
        // The same letter does not sign in twice.
        QVERIFY(m_fleet.stop(u"old"_s));
        QVERIFY(m_fleet.start(u"new"_s) && m_fleet.import(u"new"_s));
        QCOMPARE(m_fleet.call(u"new"_s, "POST", u"/account/auth/verify"_s, body).error(),
                 u"invalid_code"_s);
    }

    void wrongCodesAndLimits()
    {
        QVERIFY(m_fleet.start(u"old"_s) && m_fleet.import(u"old"_s));
        const QString email = u"boris@example.ru"_s;
        QCOMPARE(m_fleet.call(u"old"_s, "POST", u"/account/auth/request"_s, {{u"email"_s, email}})
                     .status,
                 200);
        const Letter sent = m_fleet.letter(email);
        QJsonObject body = HelperFleet::device(u"Mac"_s);
        body[u"challenge_id"_s] = sent.challenge;
        body[u"code"_s] = sent.code == u"000000"_s ? u"999999"_s : u"000000"_s;
        for (int i = 0; i < 5; ++i) {
            const Answer wrong = m_fleet.call(u"old"_s, "POST", u"/account/auth/verify"_s, body);
            QCOMPARE(wrong.status, 400);
            QCOMPARE(wrong.error(), u"invalid_code"_s);
        }
        body[u"code"_s] = sent.code; // five wrong tries ended the challenge
        QCOMPARE(m_fleet.call(u"old"_s, "POST", u"/account/auth/verify"_s, body).error(),
                 u"invalid_code"_s);
        QVERIFY(!m_fleet.account(u"old"_s).signed_in);

        for (int i = 0; i < 4; ++i)
            QCOMPARE(
                m_fleet.call(u"old"_s, "POST", u"/account/auth/request"_s, {{u"email"_s, email}})
                    .status,
                200);
        const Answer limited =
            m_fleet.call(u"old"_s, "POST", u"/account/auth/request"_s, {{u"email"_s, email}});
        QCOMPARE(limited.status, 429);
        QCOMPARE(limited.error(), u"rate_limited"_s);
        const Answer invalid =
            m_fleet.call(u"old"_s, "POST", u"/account/auth/request"_s, {{u"email"_s, u"boris"_s}});
        QCOMPARE(invalid.status, 400);
        QCOMPARE(invalid.error(), u"invalid_email"_s);
    }

    void deviceLimitThenReplacement()
    {
        QVERIFY(m_fleet.start(u"old"_s) && m_fleet.import(u"old"_s));
        QVERIFY(m_fleet.start(u"new"_s) && m_fleet.import(u"new"_s));
        const Answer full = m_fleet.requestAndVerify(u"old"_s, u"full@ovrin.test"_s);
        QCOMPARE(full.status, 409);
        QCOMPARE(full.error(), u"device_limit"_s);
        const QJsonArray devices = full.json[u"devices"_s].toArray();
        QCOMPARE(devices.size(), 3);
        for (const QJsonValue& d : devices)
            QVERIFY(!d[u"id"_s].toString().isEmpty() && !d[u"name"_s].toString().isEmpty() &&
                    d[u"platform"_s].isString());
        const QString replaced = devices[0][u"id"_s].toString();

        // As the application does: the same code again, naming the device to replace.
        const Letter sent = m_fleet.letter(u"full@ovrin.test"_s);
        QJsonObject again = HelperFleet::device(u"Mac old"_s);
        again[u"challenge_id"_s] = sent.challenge;
        again[u"code"_s] = sent.code;
        again[u"replace_device_id"_s] = replaced;
        QCOMPARE(m_fleet.call(u"old"_s, "POST", u"/account/auth/verify"_s, again).status, 200);
        const AccountStatus status = m_fleet.account(u"old"_s);
        QVERIFY(status.signed_in && status.active);
        QCOMPARE(status.plan, u"Стандарт на месяц"_s);

        // The other computer chose the same device from the list it was shown earlier.
        const Answer stale = m_fleet.requestAndVerify(u"new"_s, u"full@ovrin.test"_s,
                                                      {{u"replace_device_id"_s, replaced}});
        QCOMPARE(stale.status, 409);
        QCOMPARE(stale.error(), u"email_verification_required"_s);
        QVERIFY(!m_fleet.account(u"new"_s).signed_in);
        QCOMPARE(m_fleet.call(u"new"_s, "POST", u"/account/auth/verify"_s, again).error(),
                 u"invalid_code"_s); // that code is used up
    }

    void cabinetDecodesWithTheApplicationsRecords()
    {
        QVERIFY(m_fleet.start(u"old"_s) && m_fleet.import(u"old"_s));
        const Answer signedOut = m_fleet.call(u"old"_s, "GET", u"/account/cabinet"_s);
        QCOMPARE(signedOut.status, 401);
        QCOMPARE(signedOut.error(), u"not_signed_in"_s);

        QCOMPARE(m_fleet.requestAndVerify(u"old"_s, u"cabinet@example.ru"_s).status, 200);
        const Answer reply = m_fleet.call(u"old"_s, "GET", u"/account/cabinet"_s);
        QCOMPARE(reply.status, 200);
        const auto cabinet = CabinetData::fromJson(reply.body);
        QVERIFY2(cabinet, reply.body.constData());
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        QVERIFY(qAbs(cabinet->loaded_at - now) < 60);
        const CabinetSubscription& s = cabinet->subscription;
        QVERIFY(s.active);
        QCOMPARE(s.devices_limit, 3);
        QVERIFY(qAbs(s.ends_at - (cabinet->loaded_at + 7 * 86400)) < 60);
        QCOMPARE(cabinet->devices.size(), 1);
        QVERIFY(cabinet->devices[0].current);
        QCOMPARE(cabinet->devices[0].id, m_fleet.account(u"old"_s).device_id);
        QCOMPARE(cabinet->devices[0].name, u"Mac old"_s);
        QCOMPARE(cabinet->devices[0].last_seen_at, cabinet->loaded_at);
        QStringList currencies;
        for (const CabinetPlan& plan : cabinet->plans) {
            QVERIFY(plan.price_minor > 0 && plan.period_days > 0 && plan.devices_limit > 0);
            QVERIFY(QRegularExpression(u"^[A-Z]{3}$"_s).match(plan.currency).hasMatch());
            QVERIFY(plan.price() != u"—"_s);
            currencies << plan.currency;
        }
        QVERIFY(currencies.count(u"RUB"_s) >= 2);
        QVERIFY(currencies.size() > currencies.count(u"RUB"_s));
    }

    void sessionCommands()
    {
        QVERIFY(m_fleet.start(u"old"_s) && m_fleet.import(u"old"_s));
        QCOMPARE(m_fleet.call(u"old"_s, "POST", u"/account/apply"_s).error(), u"not_signed_in"_s);
        QCOMPARE(m_fleet.requestAndVerify(u"old"_s, u"session@example.ru"_s).status, 200);
        QVERIFY(m_fleet.command(u"old"_s, "POST", u"/install"_s));
        QCOMPARE(m_fleet.command(u"old"_s, "POST", u"/connect?i=0"_s)->status, 200);

        const Answer refused = m_fleet.call(u"old"_s, "POST", u"/account/apply"_s);
        QCOMPARE(refused.status, 409);
        QCOMPARE(refused.error(), u"Отключите соединение перед применением новых серверов."_s);
        QVERIFY(m_fleet.command(u"old"_s, "POST", u"/stop"_s));
        QCOMPARE(m_fleet.call(u"old"_s, "POST", u"/account/apply"_s).status, 200);
        const auto status = Status::fromJson(m_fleet.command(u"old"_s, "GET", u"/status"_s)->body);
        QVERIFY(status);
        const QJsonArray listed =
            QJsonDocument::fromJson(readFile(m_fleet.sampleServers() + u"/servers.json"_s))
                .object()[u"channels"_s]
                .toArray();
        QCOMPARE(status->channels.size(), listed.size());
        for (qsizetype i = 0; i < listed.size(); ++i)
            QCOMPARE(status->channels[i], listed[i][u"name"_s].toString());
        // What was applied is what the next start serves.
        QVERIFY(m_fleet.stop(u"old"_s));
        QVERIFY(m_fleet.start(u"old"_s));
        const auto restarted =
            Status::fromJson(m_fleet.command(u"old"_s, "GET", u"/status"_s)->body);
        QVERIFY(restarted);
        QCOMPARE(restarted->channels, status->channels);

        QCOMPARE(m_fleet.call(u"old"_s, "POST", u"/account/refresh"_s).status, 200);
        QCOMPARE(m_fleet.command(u"old"_s, "POST", u"/connect?i=1"_s)->status, 200);
        QCOMPARE(m_fleet.call(u"old"_s, "POST", u"/account/logout"_s).status, 200);
        QVERIFY(!Status::fromJson(m_fleet.command(u"old"_s, "GET", u"/status"_s)->body)->running);
        const AccountStatus out = m_fleet.account(u"old"_s);
        QVERIFY(!out.signed_in && out.device_id.isEmpty() && out.bootstrap);
        QCOMPARE(m_fleet.call(u"old"_s, "POST", u"/account/refresh"_s).status, 401);
        QCOMPARE(m_fleet.call(u"old"_s, "POST", u"/account/logout"_s).status, 200);
    }

    void failuresAreJsonWithAnError_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error"); // exact, or empty for any Russian text
        QTest::newRow("unknown target")
            << QByteArray("POST") << u"/account/nothing"_s << QByteArray("{}") << 404 << QString();
        QTest::newRow("wrong method")
            << QByteArray("POST") << u"/account/cabinet"_s << QByteArray("{}") << 405 << QString();
        QTest::newRow("not JSON") << QByteArray("POST") << u"/account/bootstrap"_s
                                  << QByteArray("path=/tmp") << 400 << QString();
        QTest::newRow("not a string") << QByteArray("POST") << u"/account/bootstrap"_s
                                      << QByteArray(R"({"path":7})") << 400 << QString();
        QTest::newRow("unknown field") << QByteArray("POST") << u"/account/logout"_s
                                       << QByteArray(R"({"now":"yes"})") << 400 << QString();
        QTest::newRow("relative path") << QByteArray("POST") << u"/account/bootstrap"_s
                                       << QByteArray(R"({"path":"list"})") << 400 << QString();
        QTest::newRow("missing folder")
            << QByteArray("POST") << u"/account/bootstrap"_s
            << QByteArray(R"({"path":"/nonexistent/list"})") << 400 << QString();
        QTest::newRow("not signed in") << QByteArray("POST") << u"/account/pair/codes"_s
                                       << QByteArray("{}") << 401 << u"not_signed_in"_s;
        QTest::newRow("invalid email")
            << QByteArray("POST") << u"/account/auth/request"_s << QByteArray(R"({"email":"x"})")
            << 400 << u"invalid_email"_s;
        QTest::newRow("identifier with a slash")
            << QByteArray("GET") << u"/account/pair/status?id=../../x"_s << QByteArray("{}") << 400
            << QString();
        QTest::newRow("no pairing secret")
            << QByteArray("GET") << u"/account/pair/status?id=0123456789abcdef0123456789abcdef"_s
            << QByteArray("{}") << 403 << QString();
        QTest::newRow("verify without a device")
            << QByteArray("POST") << u"/account/auth/verify"_s
            << QByteArray(R"({"challenge_id":"0123456789abcdef0123456789abcdef","code":"123456"})")
            << 400 << QString();
    }

    void failuresAreJsonWithAnError()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, target);
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QString, error);
        QVERIFY(m_fleet.start(u"old"_s) && m_fleet.import(u"old"_s));
        const auto reply = HelperSocket::roundTripAt(m_fleet.socket(u"old"_s),
                                                     QString::fromLatin1(method), target, 5, body);
        QVERIFY(reply);
        QCOMPARE(int(reply->status), status);
        const QJsonDocument document = QJsonDocument::fromJson(reply->body);
        QVERIFY2(document.isObject() && document[u"error"_s].isString(), reply->body.constData());
        const QString text = document[u"error"_s].toString();
        if (error.isEmpty())
            QVERIFY2(text.contains(QRegularExpression(u"[А-Яа-я]"_s)), qPrintable(text));
        else
            QCOMPARE(text, error);
    }
};

QTEST_GUILESS_MAIN(HelperAccountTest)
#include "tst_HelperAccount.moc"
