#pragma once

#include <QStringList>

// The everyday commands of ovrinctl, each one request to the helper. Each
// prints one line (Russian, like the application) and returns the exit
// status: 0 done, 1 the helper refused, 2 no reply, 64 bad usage.
namespace Commands {

enum Exit { Ok = 0, Refused = 1, NoReply = 2, Usage = 64 };

// Says what is wrong with the command line and where to read more; `command`
// is the command it concerns, empty when there is none.
int usage(const QString& command, const QString& problem);
// `ovrinctl help [COMMAND]`: the list of commands, or one command in detail.
int help(const QStringList& args);
int request(QStringList args);
int status(const QStringList& args);
int connect(const QStringList& args);
int disconnect(const QStringList& args);
int install(const QStringList& args);
int protection(const QStringList& args);
int autoconnect(const QStringList& args);
int logs(const QStringList& args);
int account(const QStringList& args);
int cabinet(const QStringList& args);

} // namespace Commands
