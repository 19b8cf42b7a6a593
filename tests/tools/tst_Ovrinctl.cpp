// ovrinctl as a user runs it: a real process against the fake helper.
#include "FakeHelper.h"
#include "StatusJson.h"
#include "TestHome.h"

#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;
using Reply = FakeHelper::Reply;
Q_DECLARE_METATYPE(FakeHelper::Reply)

// clang-format off
const Status connected{.running = true, .active = 1, .latency_ms = 37, .down_bps = 48'000'000,
    .up_bps = 2'500'000, .best_bps = {}, .message = {},
    .channels = {u"Амстердам"_s, u"Frankfurt UDP"_s}, .helper = true, .primary = true,
    .verified = true};
// clang-format on

// What the helper was sent, a line a request: method, target, every header
// the caller added and the body.
static QString seen(const FakeHelper& helper)
{
    QStringList lines;
    for (const auto& r : helper.requests()) {
        QByteArray line = r.method + ' ' + r.target;
        for (const auto& [name, value] : r.headers.mid(3)) // after the fixed three
            line += " [" + name + ": " + value + ']';
        lines << QString::fromUtf8(r.body.isEmpty() ? line : line + ' ' + r.body);
    }
    return lines.join(u'\n');
}

class OvrinctlTest : public QObject {
    Q_OBJECT

    TestHome m_home;
    std::unique_ptr<FakeHelper> m_helper;

private Q_SLOTS:
    void init()
    {
        qputenv("TZ", "Europe/Moscow"); // for ovrinctl, which shows local times
        m_helper = std::make_unique<FakeHelper>(m_home.socketPath());
        QVERIFY(m_helper->listening());
        m_helper->route("GET", "/status", Reply::json(200, statusBody(connected)));
    }
    void cleanup() { m_helper.reset(); } // before the next one takes the socket path

    void exitCodes_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("sent"); // what the helper must see, a line a request
        QTest::addColumn<Reply>("answer"); // to the last request sent
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says"); // a fragment of what is printed

        // Arguments are split at spaces, or at "|" where one holds a space.
        const auto row = [](const char* name, const QString& args, const QString& sent,
                            const Reply& answer, int exitCode, const QString& says) {
            const QStringList split =
                args.split(args.contains(u'|') ? u'|' : u' ', Qt::SkipEmptyParts);
            QTest::newRow(name) << split << sent << answer << exitCode << says;
        };
        const QString noReply = u"Помощник не ответил.\n"_s;
        const Reply ok = Reply::json(200, "{}");
        const Reply empty = Reply::text(204, {});
        const Reply silent = Reply::closeWithoutAnswer();
        const Reply state = Reply::json(200, statusBody(connected));

        row("no command", u""_s, {}, {}, 64, u"не указана команда\n"_s);
        row("unknown command", u"frobnicate"_s, {}, {}, 64, u"«frobnicate»"_s);
        row("header without a colon", u"request GET /status --header X"_s, {}, {}, 64, u"«X»"_s);
        row("bad time-out", u"request GET /status --timeout soon"_s, {}, {}, 64, u"«soon»"_s);
        row("protection maybe", u"protection maybe"_s, {}, {}, 64, u"on или off"_s);
        row("fractional channel", u"connect 2.5"_s, {}, {}, 64, u"«2.5»"_s);
        for (const char* help : {"--help", "-h", "help"})
            row(help, QString::fromLatin1(help), {}, {}, 0, u"\n  ovrinctl connect НОМЕР|"_s);
        row("a command's --help", u"connect --help"_s, {}, {}, 0, u"\n\nПодключает канал."_s);

        row("request answered 200",
            u"request|POST|/account/auth/request|--body|{\"email\":\"я@ovrin.test\"}|--header|"
            u"X-Pair-Secret: s e c|--timeout|5"_s,
            u"POST /account/auth/request [X-Pair-Secret: s e c] {\"email\":\"я@ovrin.test\"}"_s,
            Reply::json(200, R"({"challenge_id":"c1"})"), 0, u"200\n{\"challenge_id\":\"c1\"}\n"_s);
        row("request answered 404", u"request GET /x"_s, u"GET /x"_s, Reply::text(404, "Нет"), 1,
            u"404\nНет\n"_s);
        row("request not answered", u"request GET /status"_s, u"GET /status"_s, silent, 2, noReply);

        row("status", u"status"_s, u"GET /status"_s, state, 0,
            u"Подключено: Frankfurt UDP\nСвязь проверена.\nОтклик: 37 мс\n"
            u"Приём: 48 Мбит/с, отдача: 2.5 Мбит/с, пик: —\n"
            u"Подключение при запуске: выкл. Строгая защита: выкл.\n"
            u"Каналы:\n    0  Амстердам\n  * 1  Frankfurt UDP\n"_s);
        // clang-format off
        const Status bypass{.running = true, .active = 5, .best_bps = {}, .message = {},
                            .channels = {u"A"_s}};
        const Status blocked{.best_bps = {}, .message = u"Нет связи"_s, .channels = {},
                             .protection_armed = true};
        // clang-format on
        row("status checking a bypass outside the list", u"status"_s, u"GET /status"_s,
            Reply::json(200, statusBody(bypass)), 0,
            u"не установлена.\nТрафик идёт мимо: —\nПроверяю связь…\nОтклик: —\n"_s);
        row("status off and blocked", u"status"_s, u"GET /status"_s,
            Reply::json(200, statusBody(blocked)), 0,
            u"Отключено\nИнтернет закрыт строгой защитой.\n"
            u"Подключение при запуске: выкл. Строгая защита: выкл.\n"
            u"Сообщение помощника: Нет связи\nКаналов нет.\n"_s);
        row("status, bad", u"status"_s, u"GET /status"_s, Reply::json(503, "{}"), 2,
            u"(код 503)"_s);

        row("connect by name, any case", u"connect|frankfurt udp"_s,
            u"GET /status\nPOST /connect?i=1"_s, ok, 0, u"«Frankfurt UDP»"_s);
        row("unknown name", u"connect Марс"_s, u"GET /status"_s, state, 1, u"«Марс»"_s);
        row("past the list", u"connect 2"_s, u"GET /status"_s, state, 1, u"от 0 до 1."_s);
        row("connect silent", u"connect 0"_s, u"GET /status\nPOST /connect?i=0"_s, silent, 2,
            noReply);
        // Each command's exact success code; a refusal shows the helper's text.
        const Reply busy = Reply::text(200, "Занят");
        row("stop, 204", u"disconnect"_s, u"POST /stop"_s, empty, 1, u"(код 204)"_s);
        row("on, 204", u"protection on"_s, u"POST /protection?on=1"_s, empty, 0, u"включена"_s);
        row("off, 200", u"protection off"_s, u"POST /protection?on=0"_s, busy, 1, u"Занят\n"_s);
        row("autoconnect off", u"autoconnect off"_s, u"POST /autoconnect?on=0"_s, ok, 0,
            u"выключено"_s);
        row("logs clear, 200", u"logs clear"_s, u"POST /clear-logs"_s, busy, 1, u"Занят\n"_s);
        const QString exportArgs = u"logs|export|/tmp/Мои логи+1.zip"_s;
        const QString exportTo =
            u"POST /export?to=/tmp/%D0%9C%D0%BE%D0%B8%20%D0%BB%D0%BE%D0%B3%D0%B8%2B1.zip"_s;
        row("logs export", exportArgs, exportTo, Reply::json(200, R"({"path":"/x.zip"})"), 0,
            u"сохранены: /x.zip\n"_s);
        row("logs export, no path", exportArgs, exportTo, Reply::json(200, R"({"saved":true})"), 1,
            u": {\"saved\":true}\n"_s);
        row("account", u"account"_s, u"GET /account/status"_s,
            Reply::json(200, R"({"bootstrap":true,"signed_in":true,"keychain_error":false,)"
                             R"("pending_credentials":false,"device_id":"dev-7",)"
                             R"("active":true,"plan":"trial","error":""})"),
            0, u"Устройство: dev-7\nПодписка: действует, тариф trial\n"_s);
        row("account unreadable", u"account"_s, u"GET /account/status"_s,
            Reply::json(200, R"({"bootstrap":true})"), 2, u"(код 200)"_s);
        // Times in the user's zone (12:00 UTC is 15:00 in Moscow).
        const QString cabinet = u"GET /account/cabinet {}"_s;
        row("cabinet", u"cabinet"_s, cabinet,
            Reply::json(
                200, R"({"subscription":{"active":true,"plan_id":"p","ends_at":0,"plan_name":)"
                     R"("Семейный","devices_limit":3},"devices":[{"id":"1","name":"","platform":)"
                     R"("macOS","last_seen_at":1717243200,"current":true},{"id":"2","name":"Аня",)"
                     R"("platform":"iOS","last_seen_at":0,"current":false}],"plans":[],)"
                     R"("loaded_at":1717243200})"),
            0,
            u"Семейный\nБессрочная подписка\nДанные получены: 1 июн. 2024\u202fг., 15:00\n\n"
            u"Устройства: 2 из 3\n  • macOS · Этот Mac\n    Последнее обращение к центру: "
            u"1 июн. 2024\u202fг., 15:00\n  • Аня\n\nНет доступных тарифов\n"_s);
        row("cabinet refused", u"cabinet"_s, cabinet, Reply::json(401, R"({"error":"нет входа"})"),
            1, u": нет входа\n"_s);
        row("cabinet unreadable", u"cabinet"_s, cabinet, Reply::json(200, R"({"subscription":{}})"),
            2, u"Центр прислал неверные данные.\n"_s);
    }

    void exitCodes()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, sent);
        QFETCH(Reply, answer);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        // The last request's method and target (none when nothing is sent).
        const QList<QByteArray> last = sent.section(u'\n', -1).toUtf8().split(' ');
        m_helper->route(last[0], last.value(1), answer);
        QProcess p;
        p.start(QStringLiteral(OVRINCTL_PATH), args);
        QVERIFY(p.waitForFinished(30000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitCode(), exitCode);
        QCOMPARE(seen(*m_helper), sent);
        // On stdout when it went well or `request` prints a reply, else on
        // stderr; the other stays empty.
        const bool toStdout = exitCode == 0 || (args.value(0) == u"request" && exitCode == 1);
        QVERIFY2((toStdout ? out : err).contains(says), qPrintable(out + err));
        QVERIFY2((toStdout ? err : out).isEmpty(), qPrintable(out + err));
    }

    void watchIntoAPipeWritesALinePerChange()
    {
        QProcess p;
        p.start(QStringLiteral(OVRINCTL_PATH), {u"status"_s, u"--watch"_s});
        QTRY_VERIFY_WITH_TIMEOUT(m_helper->count("GET", "/status") >= 2, 15000);
        m_helper->route("GET", "/status", Reply::closeWithoutAnswer());
        QTRY_VERIFY_WITH_TIMEOUT(p.peek(1 << 16).contains("Помощник не ответил."), 15000);
        p.terminate();
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()),
                 u"Подключено: Frankfurt UDP, связь проверена. Подключение при запуске: выкл., "
                 u"строгая защита: выкл.\nПомощник не ответил.\n"_s);
    }
};

QTEST_GUILESS_MAIN(OvrinctlTest)
#include "tst_Ovrinctl.moc"
