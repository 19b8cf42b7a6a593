// ovrinctl: the command-line client of the helper's control socket.
#include "StatusText.h"
#include "link/HelperSocket.h"
#include "link/Status.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// Exit codes: 0 done, 1 the helper refused, 2 no reply, 64 bad usage.
enum Exit { Ok = 0, Refused = 1, NoReply = 2, Usage = 64 };

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

const QString noReplyText = u"Помощник не ответил."_s;

int usage(const QString& problem = {}) {
    if (!problem.isEmpty())
        err() << "ovrinctl: " << problem << Qt::endl;
    err() << "usage:\n"
             "  ovrinctl request METHOD TARGET [--body JSON] [--header 'Name: value']... "
             "[--timeout S]\n"
             "  ovrinctl status\n"
          << Qt::flush;
    return Usage;
}

int request(QStringList args) {
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
    const std::optional<HelperReply> reply =
        HelperSocket::roundTrip(method, target, timeout, body, headers);
    if (!reply) {
        err() << noReplyText << Qt::endl;
        return NoReply;
    }
    out() << reply->status << Qt::endl << Qt::flush;
    std::fwrite(reply->body.constData(), 1, size_t(reply->body.size()), stdout);
    if (!reply->body.isEmpty() && !reply->body.endsWith('\n'))
        std::fputc('\n', stdout);
    return Ok;
}

int status(const QStringList& args) {
    if (!args.isEmpty())
        return usage(u"status takes no arguments"_s);
    const std::optional<HelperReply> reply = HelperSocket::roundTrip(u"GET"_s, u"/status"_s, 5);
    if (!reply) {
        err() << noReplyText << Qt::endl;
        return NoReply;
    }
    const std::optional<Status> decoded = Status::fromJson(reply->body);
    if (!decoded) {
        err() << u"Помощник прислал состояние, которое не удалось прочитать (код "_s
              << reply->status << u")."_s << Qt::endl;
        return NoReply;
    }
    for (const QString& line : statusText(*decoded))
        out() << line << '\n';
    out() << Qt::flush;
    return Ok;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    if (command == u"request")
        return request(args);
    if (command == u"status")
        return status(args);
    if (command == u"-h" || command == u"--help" || command == u"help") {
        usage();
        return Ok;
    }
    return usage(u"unknown command "_s + command);
}
