// ovrinctl as a user runs it: a real process against the fake helper.
#include "AccountText.h"
#include "FakeHelper.h"
#include "StatusJson.h"
#include "StatusText.h"
#include "TestHome.h"

#include <QProcess>
#include <QTest>
#include <QTimeZone>

#include <variant>

using namespace Qt::StringLiterals;
using Reply = FakeHelper::Reply;
Q_DECLARE_METATYPE(FakeHelper::Reply)

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run ovrinctl(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(OVRINCTL_PATH), args);
    if (!p.waitForFinished(30000))
        return {};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// What the helper was sent, a line a request: method, target, every header
// the caller added and the body.
QStringList seen(const FakeHelper& helper)
{
    QStringList lines;
    for (const auto& r : helper.requests()) {
        QString line = QString::fromUtf8(r.method + ' ' + r.target);
        for (const auto& [name, value] : r.headers) {
            if (name != "Host" && name != "Content-Type" && name != "Content-Length")
                line += u" ["_s + QString::fromUtf8(name + ": " + value) + u']';
        }
        if (!r.body.isEmpty())
            line += u' ' + QString::fromUtf8(r.body);
        lines << line;
    }
    return lines;
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

    void exitCodes_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("sent"); // what the helper must see, a line a request
        QTest::addColumn<Reply>("answer"); // to the last request sent
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says"); // a fragment of what is printed

        // Arguments are split at spaces unless given as a list.
        const auto row = [](const char* name, const std::variant<QString, QStringList>& args,
                            const QString& sent, const Reply& answer, int exitCode,
                            const QString& says) {
            QTest::newRow(name) << (std::holds_alternative<QString>(args)
                                        ? std::get<QString>(args).split(u' ', Qt::SkipEmptyParts)
                                        : std::get<QStringList>(args))
                                << sent << answer << exitCode << says;
        };
        const auto usage = [&](const char* name, const QString& args, const QString& says) {
            row(name, args, {}, {}, 64, says);
        };
        const QString noReply = u"Помощник не ответил.\n"_s;
        const Reply state = Reply::json(200, statusBody(connected()));
        const Reply ok = Reply::json(200, "{}");
        const Reply noContent = Reply::text(204, {});
        const Reply silent = Reply::closeWithoutAnswer();

        usage("no command", u""_s, u"ovrinctl: не указана команда\nСправка: ovrinctl --help\n"_s);
        usage("unknown command", u"frobnicate"_s,
              u"ovrinctl: неизвестная команда «frobnicate»\nСправка: ovrinctl --help\n"_s);
        usage("help for an unknown command", u"help frobnicate"_s,
              u"ovrinctl: неизвестная команда «frobnicate»\n"_s);
        usage("request without a target", u"request GET"_s,
              u"ovrinctl: укажите метод и цель запроса\nВызов: ovrinctl request МЕТОД ЦЕЛЬ "_s);
        usage("option without a value", u"request GET /status --body"_s,
              u"ovrinctl: после --body нужно значение\n"_s);
        usage("header without a colon", u"request GET /status --header X"_s,
              u"ovrinctl: заголовок пишется как 'Имя: значение', а не «X»\n"_s);
        usage("bad time-out", u"request GET /status --timeout soon"_s,
              u"ovrinctl: --timeout — число секунд, не меньше 1, а не «soon»\n"_s);
        usage("protection neither on nor off", u"protection maybe"_s,
              u"ovrinctl: укажите on или off\nВызов: ovrinctl protection on|off\n"
              u"Подробнее: ovrinctl help protection\n"_s);
        usage("negative channel number", u"connect -1"_s,
              u"ovrinctl: номер канала не может быть отрицательным: -1\n"_s);
        usage("fractional channel number", u"connect 2.5"_s,
              u"ovrinctl: номер канала — целое число от 0, а не «2.5»\n"_s);

        const QString overview = u"\n  ovrinctl connect НОМЕР|НАЗВАНИЕ\n      Подключить канал"_s;
        row("--help", u"--help"_s, {}, {}, 0, overview);
        row("-h", u"-h"_s, {}, {}, 0, overview);
        row("help", u"help"_s, {}, {}, 0, overview);
        row("help for a command", u"help request"_s, {}, {}, 0,
            u"1 — любой другой код (он всё равно\nнапечатан)"_s);
        row("a command's --help", u"connect --help"_s, {}, {}, 0,
            u"ovrinctl connect НОМЕР|НАЗВАНИЕ\n\nПодключает канал."_s);

        row("request answered 200",
            QStringList{u"request"_s, u"POST"_s, u"/account/auth/request"_s, u"--body"_s,
                        u"{\"email\":\"я@ovrin.test\"}"_s, u"--header"_s, u"X-Pair-Secret: s e c"_s,
                        u"--timeout"_s, u"5"_s},
            u"POST /account/auth/request [X-Pair-Secret: s e c] {\"email\":\"я@ovrin.test\"}"_s,
            Reply::json(200, R"({"challenge_id":"c1"})"), 0, u"200\n{\"challenge_id\":\"c1\"}\n"_s);
        row("request answered 204", u"request POST /clear-logs"_s, u"POST /clear-logs"_s, noContent,
            0, u"204\n"_s);
        row("request answered 404", u"request GET /nowhere"_s, u"GET /nowhere"_s,
            Reply::json(404, R"({"error":"not_found"})"), 1, u"404\n{\"error\":\"not_found\"}\n"_s);
        row("request answered 409", u"request POST /account/pair/approve"_s,
            u"POST /account/pair/approve"_s, Reply::json(409, R"({"error":"device_limit"})"), 1,
            u"409\n{\"error\":\"device_limit\"}\n"_s);
        row("request not answered", u"request GET /status"_s, u"GET /status"_s, silent, 2, noReply);

        row("status", u"status"_s, u"GET /status"_s, state, 0,
            u"Подключено: Frankfurt UDP\nСвязь проверена.\nОтклик: 37 мс\n"
            u"Приём: 48 Мбит/с, отдача: 2.5 Мбит/с, пик: —\n"
            u"Подключение при запуске: выкл. Строгая защита: выкл.\n"
            u"Каналы:\n    0  Амстердам\n  * 1  Frankfurt UDP\n"_s);
        QByteArray unreadable = statusBody(connected());
        unreadable.replace("\"verified\":true", "\"verified\":1");
        row("status unreadable", u"status"_s, u"GET /status"_s, Reply::json(503, unreadable), 2,
            u"Помощник прислал состояние, которое не удалось прочитать (код 503).\n"_s);

        const QString connecting = u"Подключаю канал «Frankfurt UDP».\n"_s;
        row("connect by number", u"connect 1"_s, u"GET /status\nPOST /connect?i=1"_s, ok, 0,
            connecting);
        row("connect by name, any case", QStringList{u"connect"_s, u"frankfurt udp"_s},
            u"GET /status\nPOST /connect?i=1"_s, ok, 0, connecting);
        row("connect by Cyrillic name", u"connect Амстердам"_s, u"GET /status\nPOST /connect?i=0"_s,
            ok, 0, u"Подключаю канал «Амстердам».\n"_s);
        row("connect to an unknown name", u"connect Марс"_s, u"GET /status"_s, state, 1,
            u"Канала «Марс» нет у помощника.\n"_s);
        row("connect past the list", u"connect 2"_s, u"GET /status"_s, state, 1,
            u"Канала с номером 2 нет: номера каналов от 0 до 1.\n"_s);
        row("connect refused with the helper's text", u"connect 0"_s,
            u"GET /status\nPOST /connect?i=0"_s, Reply::text(409, "Занято"), 1, u"Занято\n"_s);
        row("connect not answered", u"connect 0"_s, u"GET /status\nPOST /connect?i=0"_s, silent, 2,
            noReply);

        row("disconnect", u"disconnect"_s, u"POST /stop"_s, ok, 0, u"Отключено.\n"_s);
        row("disconnect answered 204 is a refusal", u"disconnect"_s, u"POST /stop"_s, noContent, 1,
            u"Помощник отказал (код 204).\n"_s);
        row("protection on", u"protection on"_s, u"POST /protection?on=1"_s, noContent, 0,
            u"Строгая защита включена.\n"_s);
        row("protection off answered 200 is a refusal", u"protection off"_s,
            u"POST /protection?on=0"_s, Reply::json(200, R"({"error":"Брандмауэр занят"})"), 1,
            u"Брандмауэр занят\n"_s);
        row("autoconnect off", u"autoconnect off"_s, u"POST /autoconnect?on=0"_s, ok, 0,
            u"Подключение при запуске выключено.\n"_s);
        row("install", u"install"_s, u"POST /install"_s, ok, 0,
            u"Привилегированная часть помощника установлена.\n"_s);
        row("logs clear", u"logs clear"_s, u"POST /clear-logs"_s, noContent, 0,
            u"Журналы очищены.\n"_s);
        row("logs clear refused", u"logs clear"_s, u"POST /clear-logs"_s,
            Reply::text(500, "Журнал занят"), 1, u"Журнал занят\n"_s);
        const QStringList exportArgs{u"logs"_s, u"export"_s, u"/tmp/Мои логи+1.zip"_s};
        const QString exportTo =
            u"POST /export?to=/tmp/%D0%9C%D0%BE%D0%B8%20%D0%BB%D0%BE%D0%B3%D0%B8%2B1.zip"_s;
        row("logs export", exportArgs, exportTo,
            Reply::json(200, u"{\"path\":\"/tmp/Мои логи+1.zip\"}"_s.toUtf8()), 0,
            u"Журналы сохранены: /tmp/Мои логи+1.zip\n"_s);
        row("logs export without a path in the reply", exportArgs, exportTo,
            Reply::json(200, R"({"saved":true})"), 1,
            u"Не удалось выгрузить журналы: {\"saved\":true}\n"_s);
        row("logs export not answered", exportArgs, exportTo, silent, 2, noReply);

        row("account", u"account"_s, u"GET /account/status"_s,
            Reply::json(200, R"({"bootstrap":true,"signed_in":true,"keychain_error":false,)"
                             R"("pending_credentials":false,"device_id":"dev-7",)"
                             R"("active":true,"plan":"trial","error":""})"),
            0,
            u"Список серверов импортирован.\nВход выполнен. Устройство: dev-7\n"
            u"Подписка: действует, тариф trial\n"_s);
        row("account unreadable", u"account"_s, u"GET /account/status"_s,
            Reply::json(200, R"({"bootstrap":true})"), 2, u"не удалось прочитать (код 200)"_s);
        row("cabinet refused", u"cabinet"_s, u"GET /account/cabinet {}"_s,
            Reply::json(401, R"({"error":"not_signed_in"})"), 1,
            u"Не удалось получить кабинет: not_signed_in\n"_s);
        row("cabinet unreadable", u"cabinet"_s, u"GET /account/cabinet {}"_s,
            Reply::json(200, R"({"subscription":{}})"), 2, u"Центр прислал неверные данные.\n"_s);
    }

    void exitCodes()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, sent);
        QFETCH(Reply, answer);
        QFETCH(int, exitCode);
        QFETCH(QString, says);

        m_helper->route("GET", "/status", Reply::json(200, statusBody(connected())));
        if (!sent.isEmpty()) {
            const QList<QByteArray> last = sent.split(u'\n').constLast().toUtf8().split(' ');
            m_helper->once(last[0], last[1], answer);
        }
        const Run run = ovrinctl(args);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(seen(*m_helper).join(u'\n'), sent);
        // On stdout when it went well or `request` prints a reply, else on
        // stderr; the other stays empty.
        const bool toStdout = exitCode == 0 || (args.value(0) == u"request" && exitCode == 1);
        QVERIFY2((toStdout ? run.out : run.err).contains(says), qPrintable(run.out + run.err));
        QVERIFY2((toStdout ? run.err : run.out).isEmpty(), qPrintable(run.out + run.err));
    }

    void watchIntoAPipeWritesALinePerChange()
    {
        Status off = connected();
        off.running = false;
        m_helper->route("GET", "/status", Reply::json(200, statusBody(connected())));
        QProcess p;
        QByteArray shown;
        QObject::connect(&p, &QProcess::readyReadStandardOutput,
                         [&] { shown += p.readAllStandardOutput(); });
        p.start(QStringLiteral(OVRINCTL_PATH), {u"status"_s, u"--watch"_s});
        QTRY_VERIFY_WITH_TIMEOUT(m_helper->count("GET", "/status") >= 2, 15000);
        m_helper->route("GET", "/status", Reply::json(200, statusBody(off)));
        QTRY_VERIFY_WITH_TIMEOUT(m_helper->count("GET", "/status") >= 4, 15000);
        m_helper->route("GET", "/status", Reply::closeWithoutAnswer());
        QTRY_VERIFY_WITH_TIMEOUT(shown.contains(u"Помощник не ответил."_s.toUtf8()), 15000);
        p.terminate();
        QVERIFY(p.waitForFinished(5000));
        shown += p.readAllStandardOutput();
        QCOMPARE(QString::fromUtf8(shown),
                 u"Подключено: Frankfurt UDP, связь проверена. Подключение при запуске: выкл., "
                 u"строгая защита: выкл.\n"
                 u"Отключено. Подключение при запуске: выкл., строгая защита: выкл.\n"
                 u"Помощник не ответил.\n"_s);
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
