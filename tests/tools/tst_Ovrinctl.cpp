// ovrinctl as a user runs it: a real process against the fake helper.
#include "AccountText.h"
#include "FakeHelper.h"
#include "StatusJson.h"
#include "StatusText.h"
#include "TestHome.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;
using Reply = FakeHelper::Reply;
Q_DECLARE_METATYPE(FakeHelper::Reply)

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
    qint64 ms = 0;
};

Run ovrinctl(const QStringList& args, const QString& home = {})
{
    QProcess p;
    if (!home.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, home);
        p.setProcessEnvironment(env);
    }
    QElapsedTimer clock;
    clock.start();
    p.start(QStringLiteral(OVRINCTL_PATH), args);
    if (!p.waitForFinished(30000))
        return {};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError()), clock.elapsed()};
}

Status connected()
{
    Status s;
    s.running = true;
    s.active = 1;
    s.latency_ms = 37;
    s.down_bps = 48'000'000;
    s.up_bps = 2'500'000;
    s.peak_bps = 0;
    s.channels = {u"Амстердам"_s, u"Frankfurt UDP"_s};
    s.helper = true;
    s.primary = true;
    s.verified = true;
    return s;
}

} // namespace

class OvrinctlTest : public QObject {
    Q_OBJECT

    TestHome m_home;
    std::unique_ptr<FakeHelper> m_helper;

private Q_SLOTS:
    void init()
    {
        m_helper = std::make_unique<FakeHelper>(m_home.socketPath());
        QVERIFY(m_helper->listening());
    }
    void cleanup() { m_helper.reset(); }

    void requestPrintsCodeThenBody()
    {
        m_helper->route("POST", "/account/auth/request",
                        Reply::json(429, R"({"error":"rate_limited"})"));
        const Run run = ovrinctl({u"request"_s, u"POST"_s, u"/account/auth/request"_s, u"--body"_s,
                                  u"{\"email\":\"я@ovrin.test\"}"_s, u"--header"_s,
                                  u"X-Pair-Secret: s e c"_s, u"--timeout"_s, u"5"_s});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, u"429\n{\"error\":\"rate_limited\"}\n"_s);
        const auto seen = m_helper->requests();
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].body, u"{\"email\":\"я@ovrin.test\"}"_s.toUtf8());
        QCOMPARE(seen[0].header("X-Pair-Secret"), QByteArray("s e c"));
    }

    void noHelperExitsTwoAtOnce()
    {
        m_helper.reset();
        const Run run = ovrinctl({u"request"_s, u"GET"_s, u"/status"_s});
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.err, u"Помощник не ответил.\n"_s);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.ms < 2000, qPrintable(QString::number(run.ms)));
    }

    void homeTooLongForASocketPathIsNoReply()
    {
        const QString home = m_home.path() + u'/' + QString(80, u'h');
        const Run run = ovrinctl({u"status"_s}, home);
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(m_helper->requests().size(), 0);
    }

    void statusIsReadable()
    {
        m_helper->route("GET", "/status", Reply::json(200, statusBody(connected())));
        const Run run = ovrinctl({u"status"_s});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains(u"Подключено: Frankfurt UDP\n"_s), qPrintable(run.out));
        QVERIFY(run.out.contains(u"  * 1  Frankfurt UDP\n"_s));
        QVERIFY(run.out.contains(u"    0  Амстердам\n"_s));
        QVERIFY(run.out.contains(u"Приём: 48 Мбит/с, отдача: 2.5 Мбит/с, пик: —"_s));
    }

    void unreadableStatusIsSaidPlainly()
    {
        QByteArray body = statusBody(connected());
        body.replace("\"verified\":true", "\"verified\":1");
        m_helper->route("GET", "/status", Reply::json(503, body));
        const Run run = ovrinctl({u"status"_s});
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(u"не удалось прочитать"_s), qPrintable(run.err));
        QVERIFY(run.err.contains(u"503"_s));
    }

    void badUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("nothing") << QStringList();
        QTest::newRow("unknown command") << QStringList{u"frobnicate"_s};
        QTest::newRow("request without target") << QStringList{u"request"_s, u"GET"_s};
        QTest::newRow("option without value")
            << QStringList{u"request"_s, u"GET"_s, u"/status"_s, u"--body"_s};
        QTest::newRow("header without colon")
            << QStringList{u"request"_s, u"GET"_s, u"/status"_s, u"--header"_s, u"X"_s};
        QTest::newRow("bad time-out")
            << QStringList{u"request"_s, u"GET"_s, u"/status"_s, u"--timeout"_s, u"soon"_s};
    }

    void badUsage()
    {
        QFETCH(QStringList, args);
        const Run run = ovrinctl(args);
        QCOMPARE(run.exitCode, 64);
        QVERIFY(run.err.contains(u"usage:"_s));
        QCOMPARE(m_helper->requests().size(), 0);
    }

    void commands_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("target"); // what the helper must see, empty for none
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says"); // on stdout when 0, else on stderr

        const Reply ok = Reply::json(200, "{}");
        const Reply noContent = Reply::text(204, {});
        QTest::newRow("connect by number")
            << QStringList{u"connect"_s, u"1"_s} << QByteArray("/connect?i=1") << ok << 0
            << u"Подключаю канал «Frankfurt UDP»."_s;
        QTest::newRow("connect by name, any case")
            << QStringList{u"connect"_s, u"frankfurt udp"_s} << QByteArray("/connect?i=1") << ok
            << 0 << u"Подключаю канал «Frankfurt UDP»."_s;
        QTest::newRow("connect by Cyrillic name")
            << QStringList{u"connect"_s, u"Амстердам"_s} << QByteArray("/connect?i=0") << ok << 0
            << u"Подключаю канал «Амстердам»."_s;
        QTest::newRow("connect to an unknown name")
            << QStringList{u"connect"_s, u"Марс"_s} << QByteArray() << ok << 1
            << u"Канала «Марс» нет у помощника."_s;
        QTest::newRow("connect refused with the helper's text")
            << QStringList{u"connect"_s, u"7"_s} << QByteArray("/connect?i=7")
            << Reply::text(400, u"Канала с номером 7 нет."_s.toUtf8()) << 1
            << u"Канала с номером 7 нет."_s;
        QTest::newRow("disconnect")
            << QStringList{u"disconnect"_s} << QByteArray("/stop") << ok << 0 << u"Отключено."_s;
        QTest::newRow("disconnect answered 204 is a refusal")
            << QStringList{u"disconnect"_s} << QByteArray("/stop") << noContent << 1
            << u"Помощник отказал (код 204)."_s;
        QTest::newRow("protection on")
            << QStringList{u"protection"_s, u"on"_s} << QByteArray("/protection?on=1") << noContent
            << 0 << u"Строгая защита включена."_s;
        QTest::newRow("protection off answered 200 is a refusal")
            << QStringList{u"protection"_s, u"off"_s} << QByteArray("/protection?on=0")
            << Reply::json(200, R"({"error":"Брандмауэр занят"})") << 1 << u"Брандмауэр занят"_s;
        QTest::newRow("autoconnect off")
            << QStringList{u"autoconnect"_s, u"off"_s} << QByteArray("/autoconnect?on=0") << ok << 0
            << u"Подключение при запуске выключено."_s;
        QTest::newRow("install") << QStringList{u"install"_s} << QByteArray("/install") << ok << 0
                                 << u"Привилегированная часть помощника установлена."_s;
        QTest::newRow("logs clear")
            << QStringList{u"logs"_s, u"clear"_s} << QByteArray("/clear-logs") << noContent << 0
            << u"Журналы очищены."_s;
        QTest::newRow("logs clear refused")
            << QStringList{u"logs"_s, u"clear"_s} << QByteArray("/clear-logs")
            << Reply::text(500, u"Журнал занят"_s.toUtf8()) << 1 << u"Журнал занят"_s;
        QTest::newRow("logs export")
            << QStringList{u"logs"_s, u"export"_s, u"/tmp/Мои логи+1.zip"_s}
            << QByteArray("/export?to=/tmp/%D0%9C%D0%BE%D0%B8%20%D0%BB%D0%BE%D0%B3%D0%B8%2B1.zip")
            << Reply::json(200, u"{\"path\":\"/tmp/Мои логи+1.zip\"}"_s.toUtf8()) << 0
            << u"Журналы сохранены: /tmp/Мои логи+1.zip"_s;
        QTest::newRow("logs export without a path in the reply")
            << QStringList{u"logs"_s, u"export"_s, u"/tmp/x.zip"_s}
            << QByteArray("/export?to=/tmp/x.zip") << Reply::json(200, R"({"saved":true})") << 1
            << u"Не удалось выгрузить журналы: {\"saved\":true}"_s;
    }

    void commands()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, target);
        QFETCH(Reply, reply);
        QFETCH(int, exitCode);
        QFETCH(QString, says);

        m_helper->route("GET", "/status", Reply::json(200, statusBody(connected())));
        m_helper->fallback(reply);
        const Run run = ovrinctl(args);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(exitCode == 0 ? run.out : run.err, says + u'\n');
        QList<QByteArray> posts;
        for (const auto& r : m_helper->requests()) {
            if (r.method == "POST")
                posts << r.target;
        }
        QCOMPARE(posts, target.isEmpty() ? QList<QByteArray>() : QList<QByteArray>{target});
    }

    void commandsWithoutAHelperExitTwo_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("connect") << QStringList{u"connect"_s, u"0"_s};
        QTest::newRow("disconnect") << QStringList{u"disconnect"_s};
        QTest::newRow("protection") << QStringList{u"protection"_s, u"on"_s};
        QTest::newRow("logs export") << QStringList{u"logs"_s, u"export"_s, u"/tmp/x.zip"_s};
    }

    void commandsWithoutAHelperExitTwo()
    {
        QFETCH(QStringList, args);
        m_helper.reset();
        const Run run = ovrinctl(args);
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.err, u"Помощник не ответил.\n"_s);
    }

    void watchRedrawsUntilInterrupted()
    {
        m_helper->route("GET", "/status", Reply::json(200, statusBody(connected())));
        QProcess p;
        p.start(QStringLiteral(OVRINCTL_PATH), {u"status"_s, u"--watch"_s});
        QVERIFY(p.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(m_helper->count("GET", "/status") >= 2, 5000);
        p.terminate();
        QVERIFY(p.waitForFinished(5000));
        const QString shown = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY2(shown.count(u"Подключено: Frankfurt UDP"_s) >= 2, qPrintable(shown));
    }

    void accountIsReadable()
    {
        m_helper->route("GET", "/account/status",
                        Reply::json(200,
                                    R"({"bootstrap":true,"signed_in":true,"keychain_error":false,)"
                                    R"("pending_credentials":false,"device_id":"dev-7",)"
                                    R"("active":true,"plan":"trial","error":""})"));
        const Run run = ovrinctl({u"account"_s});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, u"Список серверов импортирован.\nВход выполнен. Устройство: dev-7\n"
                          u"Подписка: действует, тариф trial\n"_s);
        QCOMPARE(m_helper->requests().constFirst().body, QByteArray());

        m_helper->route("GET", "/account/status", Reply::json(200, R"({"bootstrap":true})"));
        const Run broken = ovrinctl({u"account"_s});
        QCOMPARE(broken.exitCode, 2);
        QVERIFY(broken.err.contains(u"не удалось прочитать"_s));
    }

    void cabinetRequestAndRefusals()
    {
        m_helper->route("GET", "/account/cabinet",
                        Reply::json(401, R"({"error":"not_signed_in"})"));
        Run run = ovrinctl({u"cabinet"_s});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err, u"Не удалось получить кабинет: not_signed_in\n"_s);
        QCOMPARE(m_helper->requests().constLast().body, QByteArray("{}"));

        m_helper->route("GET", "/account/cabinet", Reply::json(200, R"({"subscription":{}})"));
        run = ovrinctl({u"cabinet"_s});
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.err, u"Центр прислал неверные данные.\n"_s);
    }

    void cabinetLines()
    {
        const CabinetData cabinet(
            CabinetSubscription(true, u"pro"_s, u"Семейный"_s, 1'717'243'200 + 86'400 * 3, 3),
            {CabinetDevice(u"d1"_s, QString(), u"macOS"_s, 1'717'243'200, true),
             CabinetDevice(u"d2"_s, u"Телефон Анны"_s, u"iOS"_s, 0, false)},
            {CabinetPlan(u"pro"_s, u"Семейный"_s, 29900, u"RUB"_s, 30, 5)}, 1'717'243'200);
        const QDateTime now = QDateTime::fromSecsSinceEpoch(1'717'243'200, Qt::UTC);
        const QStringList lines = cabinetText(cabinet, now, u"Europe/Moscow");
        QCOMPARE(
            lines,
            (QStringList{
                u"Семейный"_s,
                u"Осталось дней: 3"_s,
                u"Дата окончания: 4 июн. 2024\u202fг., 15:00"_s,
                u"Данные получены: 1 июн. 2024\u202fг., 15:00"_s,
                QString(),
                u"Устройства: 2 из 3"_s,
                u"  • macOS · Этот Mac"_s,
                u"    Последнее обращение к центру: 1 июн. 2024\u202fг., 15:00"_s,
                u"  • Телефон Анны"_s,
                QString(),
                u"Тарифы:"_s,
                u"  • Семейный · 299,00\u00a0₽ — 30 дней · Устройств: 5"_s,
            }));
    }

    void statusLines_data()
    {
        QTest::addColumn<Status>("status");
        QTest::addColumn<QString>("line");

        Status s = connected();
        s.primary = false;
        QTest::newRow("route bypassed") << s << u"Трафик идёт мимо: Frankfurt UDP"_s;
        s = connected();
        s.active = 5;
        QTest::newRow("active outside the list") << s << u"Подключено: —"_s;
        s = connected();
        s.verified = false;
        s.latency_ms = 0;
        QTest::newRow("checking, no latency yet") << s << u"Отклик: —"_s;
        s = Status();
        s.protected_ = true;
        s.protection_armed = true;
        QTest::newRow("protection blocking") << s << u"Интернет закрыт строгой защитой."_s;
        s = Status();
        QTest::newRow("privileged part missing")
            << s << u"Привилегированная часть помощника не установлена."_s;
        s.message = u"Нет связи с сервером"_s;
        QTest::newRow("helper message") << s << u"Сообщение помощника: Нет связи с сервером"_s;
    }

    void statusLines()
    {
        QFETCH(Status, status);
        QFETCH(QString, line);
        const QStringList lines = statusText(status);
        QVERIFY2(lines.contains(line), qPrintable(lines.join(u'\n')));
    }
};

QTEST_GUILESS_MAIN(OvrinctlTest)
#include "tst_Ovrinctl.moc"
