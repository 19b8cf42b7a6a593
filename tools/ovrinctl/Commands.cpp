#include "Commands.h"

#include "AccountText.h"
#include "Help.h"
#include "StatusText.h"
#include "account/AccountStatus.h"
#include "cabinet/CabinetData.h"
#include "link/HelperSocket.h"
#include "link/JsonReader.h"
#include "link/QueryValue.h"
#include "link/Status.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>
#include <QThread>

#include <cmath>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

const QString noReplyText = u"Помощник не ответил."_s;

int noReply()
{
    err() << noReplyText << Qt::endl;
    return Commands::NoReply;
}

// What the helper said when it refused: the "error" or "message" text of a
// JSON object, otherwise the body as it came.
QString refusalText(const HelperReply& reply)
{
    if (const auto object = JsonReader::parseObject(reply.body)) {
        for (const QString& key : {u"error"_s, u"message"_s}) {
            if (const auto text = JsonReader::string(object->value(key)); text && !text->isEmpty())
                return *text;
        }
    }
    const QString body = QString::fromUtf8(reply.body).trimmed();
    return body.isEmpty() ? u"Помощник отказал (код %1)."_s.arg(reply.status) : body;
}

// One plain command: success is exactly `expected` (any 2xx when 0).
int command(const QString& target, double timeout, int expected, const QString& done)
{
    const auto reply = HelperSocket::roundTrip(u"POST"_s, target, timeout);
    if (!reply)
        return noReply();
    const bool ok = expected ? reply->status == expected : reply->status / 100 == 2;
    if (!ok) {
        err() << refusalText(*reply) << Qt::endl;
        return Commands::Refused;
    }
    out() << done << Qt::endl;
    return Commands::Ok;
}

std::optional<bool> onOff(const QStringList& args)
{
    if (args.size() != 1)
        return std::nullopt;
    if (args[0] == u"on")
        return true;
    if (args[0] == u"off")
        return false;
    return std::nullopt;
}

std::optional<Status> fetchStatus(int& exit)
{
    const auto reply = HelperSocket::roundTrip(u"GET"_s, u"/status"_s, 5);
    if (!reply) {
        exit = noReply();
        return std::nullopt;
    }
    auto decoded = Status::fromJson(reply->body);
    if (!decoded) {
        err() << u"Помощник прислал состояние, которое не удалось прочитать (код "_s
              << reply->status << u")."_s << Qt::endl;
        exit = Commands::NoReply;
    }
    return decoded;
}

} // namespace

int Commands::usage(const QString& command, const QString& problem)
{
    err() << "ovrinctl: " << problem << Qt::endl;
    const QStringList synopsis = Help::synopsis(command);
    if (synopsis.isEmpty()) {
        err() << u"Справка: ovrinctl --help"_s << Qt::endl;
        return Usage;
    }
    err() << u"Вызов: "_s << synopsis.join(u"\n       "_s) << Qt::endl
          << u"Подробнее: ovrinctl help "_s << command << Qt::endl;
    return Usage;
}

int Commands::help(const QStringList& args)
{
    if (args.isEmpty()) {
        out() << Help::overview() << Qt::flush;
        return Ok;
    }
    const auto text = args.size() == 1 ? Help::command(args[0]) : std::nullopt;
    if (!text) {
        return usage({}, args.size() == 1 ? u"неизвестная команда «%1»"_s.arg(args[0])
                                          : u"help принимает одну команду"_s);
    }
    out() << *text << Qt::flush;
    return Ok;
}

int Commands::request(QStringList args)
{
    if (args.size() < 2)
        return usage(u"request"_s, u"укажите метод и цель запроса"_s);
    const QString method = args.takeFirst();
    const QString target = args.takeFirst();
    QByteArray body;
    HelperSocket::Headers headers;
    double timeout = 20;
    while (!args.isEmpty()) {
        const QString option = args.takeFirst();
        if (option != u"--body" && option != u"--header" && option != u"--timeout")
            return usage(u"request"_s, u"неизвестный параметр «%1»"_s.arg(option));
        if (args.isEmpty())
            return usage(u"request"_s, u"после %1 нужно значение"_s.arg(option));
        const QString value = args.takeFirst();
        if (option == u"--body") {
            body = value.toUtf8();
        } else if (option == u"--header") {
            const qsizetype colon = value.indexOf(u':');
            if (colon <= 0)
                return usage(u"request"_s,
                             u"заголовок пишется как 'Имя: значение', а не «%1»"_s.arg(value));
            headers.insert(value.left(colon).trimmed(), value.mid(colon + 1).trimmed());
        } else {
            bool ok = false;
            timeout = value.toDouble(&ok);
            if (!ok || !std::isfinite(timeout) || timeout < 1)
                return usage(u"request"_s,
                             u"--timeout — число секунд, не меньше 1, а не «%1»"_s.arg(value));
        }
    }
    const auto reply = HelperSocket::roundTrip(method, target, timeout, body, headers);
    if (!reply)
        return noReply();
    out() << reply->status << Qt::endl << Qt::flush;
    std::fwrite(reply->body.constData(), 1, size_t(reply->body.size()), stdout);
    if (!reply->body.isEmpty() && !reply->body.endsWith('\n'))
        std::fputc('\n', stdout);
    return reply->status / 100 == 2 ? Ok : Refused;
}

int Commands::status(const QStringList& args)
{
    const bool watch = args == QStringList{u"--watch"_s};
    if (!args.isEmpty() && !watch)
        return usage(u"status"_s, u"status понимает только --watch"_s);
    if (!watch) {
        int exit = Ok;
        const auto decoded = fetchStatus(exit);
        if (decoded)
            out() << statusText(*decoded).join(u'\n') << Qt::endl;
        return exit;
    }
    // Asks once a second until interrupted; a silent helper is shown, not fatal.
    // A terminal is redrawn each time; a pipe or a file gets one line whenever
    // that line changes, so a log or a script reading lines sees each change
    // once and no terminal control codes.
    const bool terminal = ::isatty(STDOUT_FILENO) == 1;
    QString shown;
    for (;;) {
        const auto reply = HelperSocket::roundTrip(u"GET"_s, u"/status"_s, 5);
        const auto decoded = reply ? Status::fromJson(reply->body) : std::nullopt;
        QString text = reply ? u"Состояние помощника не удалось прочитать."_s : noReplyText;
        if (decoded)
            text = terminal ? statusText(*decoded).join(u'\n') : statusLine(*decoded);
        if (terminal)
            out() << "\x1b[H\x1b[2J" << text << Qt::endl;
        else if (text != shown)
            out() << text << Qt::endl;
        shown = text;
        QThread::sleep(1);
    }
}

int Commands::connect(const QStringList& args)
{
    if (args.size() != 1 || args[0].trimmed().isEmpty())
        return usage(u"connect"_s, u"укажите один канал: его номер или название"_s);
    const QString& channel = args[0];
    // Anything written as a number is taken for one, and checked before the
    // helper is asked: a name never looks like "-1" or "2.5".
    static const QRegularExpression index(u"^[0-9]+$"_s);
    static const QRegularExpression number(u"^[-+]?([0-9]+([.,][0-9]*)?|[.,][0-9]+)$"_s);
    const bool isIndex = index.match(channel).hasMatch();
    if (!isIndex && number.match(channel).hasMatch()) {
        return usage(u"connect"_s,
                     channel.startsWith(u'-')
                         ? u"номер канала не может быть отрицательным: %1"_s.arg(channel)
                         : u"номер канала — целое число от 0, а не «%1»"_s.arg(channel));
    }
    int exit = Ok;
    const auto status = fetchStatus(exit);
    if (!status)
        return exit;
    const QStringList& channels = status->channels;
    qsizetype found = -1;
    if (isIndex) {
        bool fits = false;
        const qlonglong n = channel.toLongLong(&fits);
        if (fits && n < channels.size())
            found = qsizetype(n);
        else if (channels.isEmpty())
            err() << u"Каналов у помощника нет."_s << Qt::endl;
        else
            err() << u"Канала с номером %1 нет: номера каналов от 0 до %2."_s.arg(channel).arg(
                         channels.size() - 1)
                  << Qt::endl;
    } else {
        found = channels.indexOf(channel);
        for (qsizetype i = 0; found < 0 && i < channels.size(); ++i) {
            if (channels[i].compare(channel, Qt::CaseInsensitive) == 0)
                found = i;
        }
        if (found < 0)
            err() << u"Канала «%1» нет у помощника."_s.arg(channel) << Qt::endl;
    }
    if (found < 0)
        return Refused;
    return command(u"/connect?i="_s + QString::number(found), 20, 0,
                   u"Подключаю канал «%1»."_s.arg(channels[found]));
}

int Commands::disconnect(const QStringList& args)
{
    if (!args.isEmpty())
        return usage(u"disconnect"_s, u"у disconnect нет аргументов"_s);
    return command(u"/stop"_s, 30, 200, u"Отключено."_s);
}

int Commands::install(const QStringList& args)
{
    if (!args.isEmpty())
        return usage(u"install"_s, u"у install нет аргументов"_s);
    return command(u"/install"_s, 180, 0, u"Привилегированная часть помощника установлена."_s);
}

int Commands::protection(const QStringList& args)
{
    const auto on = onOff(args);
    if (!on)
        return usage(u"protection"_s, u"укажите on или off"_s);
    return command(u"/protection?on="_s + (*on ? u"1"_s : u"0"_s), 90, 204,
                   *on ? u"Строгая защита включена."_s : u"Строгая защита выключена."_s);
}

int Commands::autoconnect(const QStringList& args)
{
    const auto on = onOff(args);
    if (!on)
        return usage(u"autoconnect"_s, u"укажите on или off"_s);
    return command(u"/autoconnect?on="_s + (*on ? u"1"_s : u"0"_s), 20, 0,
                   *on ? u"Подключение при запуске включено."_s
                       : u"Подключение при запуске выключено."_s);
}

int Commands::logs(const QStringList& args)
{
    if (args == QStringList{u"clear"_s})
        return command(u"/clear-logs"_s, 20, 204, u"Журналы очищены."_s);
    if (args.size() != 2 || args[0] != u"export")
        return usage(u"logs"_s, u"укажите «export ПУТЬ» или «clear»"_s);
    const QString path = QFileInfo(args[1]).absoluteFilePath();
    const auto reply = HelperSocket::roundTrip(u"POST"_s, u"/export?to="_s + queryValue(path), 60);
    if (!reply)
        return noReply();
    const auto object = reply->status == 200 ? JsonReader::parseObject(reply->body) : std::nullopt;
    const auto saved = object ? JsonReader::string(object->value(u"path"_s)) : std::nullopt;
    if (!saved) {
        err() << u"Не удалось выгрузить журналы: "_s << refusalText(*reply) << Qt::endl;
        return Refused;
    }
    out() << u"Журналы сохранены: "_s << *saved << Qt::endl;
    return Ok;
}

int Commands::account(const QStringList& args)
{
    if (!args.isEmpty())
        return usage(u"account"_s, u"у account нет аргументов"_s);
    const auto reply = HelperSocket::roundTrip(u"GET"_s, u"/account/status"_s, 5);
    if (!reply)
        return noReply();
    const auto decoded = AccountStatus::fromJson(reply->body);
    if (!decoded) {
        err() << u"Помощник прислал состояние учётной записи, которое не удалось прочитать (код "_s
              << reply->status << u")."_s << Qt::endl;
        return NoReply;
    }
    out() << accountText(*decoded).join(u'\n') << Qt::endl;
    return Ok;
}

int Commands::cabinet(const QStringList& args)
{
    if (!args.isEmpty())
        return usage(u"cabinet"_s, u"у cabinet нет аргументов"_s);
    const auto reply = HelperSocket::roundTrip(u"GET"_s, u"/account/cabinet"_s, 90, "{}");
    if (!reply)
        return noReply();
    if (reply->status != 200) {
        err() << u"Не удалось получить кабинет: "_s << refusalText(*reply) << Qt::endl;
        return Refused;
    }
    const auto decoded = CabinetData::fromJson(reply->body);
    if (!decoded) {
        err() << u"Центр прислал неверные данные."_s << Qt::endl;
        return NoReply;
    }
    out() << cabinetText(*decoded, QDateTime::currentDateTimeUtc()).join(u'\n') << Qt::endl;
    return Ok;
}
