#include "Commands.h"

#include "AccountText.h"
#include "StatusText.h"
#include "account/AccountStatus.h"
#include "cabinet/CabinetData.h"
#include "link/HelperSocket.h"
#include "link/JsonReader.h"
#include "link/QueryValue.h"
#include "link/Status.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <QThread>

#include <cstdio>

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

int Commands::usage(const QString& problem)
{
    if (!problem.isEmpty())
        err() << "ovrinctl: " << problem << Qt::endl;
    err() << "usage:\n"
             "  ovrinctl status [--watch]\n"
             "  ovrinctl connect N|NAME\n"
             "  ovrinctl disconnect\n"
             "  ovrinctl install\n"
             "  ovrinctl protection on|off\n"
             "  ovrinctl autoconnect on|off\n"
             "  ovrinctl logs export PATH\n"
             "  ovrinctl logs clear\n"
             "  ovrinctl account\n"
             "  ovrinctl cabinet\n"
             "  ovrinctl request METHOD TARGET [--body JSON] [--header 'Name: value']... "
             "[--timeout S]\n"
          << Qt::flush;
    return Usage;
}

int Commands::request(QStringList args)
{
    if (args.size() < 2)
        return usage(u"request needs METHOD and TARGET"_s);
    const QString method = args.takeFirst();
    const QString target = args.takeFirst();
    QByteArray body;
    HelperSocket::Headers headers;
    double timeout = 20;
    while (!args.isEmpty()) {
        const QString option = args.takeFirst();
        if (args.isEmpty())
            return usage(option + u" needs a value"_s);
        const QString value = args.takeFirst();
        if (option == u"--body") {
            body = value.toUtf8();
        } else if (option == u"--header") {
            const qsizetype colon = value.indexOf(u':');
            if (colon <= 0)
                return usage(u"a header is 'Name: value'"_s);
            headers.insert(value.left(colon).trimmed(), value.mid(colon + 1).trimmed());
        } else if (option == u"--timeout") {
            bool ok = false;
            timeout = value.toDouble(&ok);
            if (!ok || timeout < 1)
                return usage(u"--timeout takes a number of seconds, at least 1"_s);
        } else {
            return usage(u"unknown option "_s + option);
        }
    }
    const auto reply = HelperSocket::roundTrip(method, target, timeout, body, headers);
    if (!reply)
        return noReply();
    out() << reply->status << Qt::endl << Qt::flush;
    std::fwrite(reply->body.constData(), 1, size_t(reply->body.size()), stdout);
    if (!reply->body.isEmpty() && !reply->body.endsWith('\n'))
        std::fputc('\n', stdout);
    return Ok;
}

int Commands::status(const QStringList& args)
{
    const bool watch = args == QStringList{u"--watch"_s};
    if (!args.isEmpty() && !watch)
        return usage(u"status takes only --watch"_s);
    if (!watch) {
        int exit = Ok;
        const auto decoded = fetchStatus(exit);
        if (decoded)
            out() << statusText(*decoded).join(u'\n') << Qt::endl;
        return exit;
    }
    // Redraws once a second until interrupted; a silent helper is shown, not fatal.
    for (;;) {
        const auto reply = HelperSocket::roundTrip(u"GET"_s, u"/status"_s, 5);
        const auto decoded = reply ? Status::fromJson(reply->body) : std::nullopt;
        out() << "\x1b[H\x1b[2J";
        if (decoded)
            out() << statusText(*decoded).join(u'\n') << Qt::endl;
        else
            out() << (reply ? u"Состояние помощника не удалось прочитать."_s : noReplyText)
                  << Qt::endl;
        QThread::sleep(1);
    }
}

int Commands::connect(const QStringList& args)
{
    if (args.size() != 1)
        return usage(u"connect takes a channel number or name"_s);
    int exit = Ok;
    const auto status = fetchStatus(exit);
    if (!status)
        return exit;
    bool isNumber = false;
    qsizetype index = args[0].toLongLong(&isNumber);
    if (!isNumber) {
        index = status->channels.indexOf(args[0]);
        for (qsizetype i = 0; index < 0 && i < status->channels.size(); ++i) {
            if (status->channels[i].compare(args[0], Qt::CaseInsensitive) == 0)
                index = i;
        }
        if (index < 0) {
            err() << u"Канала «%1» нет у помощника."_s.arg(args[0]) << Qt::endl;
            return Refused;
        }
    }
    const QString name = status->channels.value(index, QString::number(index));
    return command(u"/connect?i="_s + QString::number(index), 20, 0,
                   u"Подключаю канал «%1»."_s.arg(name));
}

int Commands::disconnect(const QStringList& args)
{
    if (!args.isEmpty())
        return usage(u"disconnect takes no arguments"_s);
    return command(u"/stop"_s, 30, 200, u"Отключено."_s);
}

int Commands::install(const QStringList& args)
{
    if (!args.isEmpty())
        return usage(u"install takes no arguments"_s);
    return command(u"/install"_s, 180, 0, u"Привилегированная часть помощника установлена."_s);
}

int Commands::protection(const QStringList& args)
{
    const auto on = onOff(args);
    if (!on)
        return usage(u"protection takes on or off"_s);
    return command(u"/protection?on="_s + (*on ? u"1"_s : u"0"_s), 90, 204,
                   *on ? u"Строгая защита включена."_s : u"Строгая защита выключена."_s);
}

int Commands::autoconnect(const QStringList& args)
{
    const auto on = onOff(args);
    if (!on)
        return usage(u"autoconnect takes on or off"_s);
    return command(u"/autoconnect?on="_s + (*on ? u"1"_s : u"0"_s), 20, 0,
                   *on ? u"Подключение при запуске включено."_s
                       : u"Подключение при запуске выключено."_s);
}

int Commands::logs(const QStringList& args)
{
    if (args == QStringList{u"clear"_s})
        return command(u"/clear-logs"_s, 20, 204, u"Журналы очищены."_s);
    if (args.size() != 2 || args[0] != u"export")
        return usage(u"logs takes 'export PATH' or 'clear'"_s);
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
        return usage(u"account takes no arguments"_s);
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
        return usage(u"cabinet takes no arguments"_s);
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
