#pragma once

#include <QStringList>

#include <optional>

// The texts of `ovrinctl --help` and `ovrinctl help COMMAND` (Russian, like
// the application).
namespace Help {

// Every command with its arguments and one line on what it does.
QString overview();
// One command: its synopsis, what it sends, what it prints, its exit codes.
// Nothing for a name that is not a command.
std::optional<QString> command(const QString& name);
// The synopsis lines of one command, each starting "ovrinctl "; empty for a
// name that is not a command.
QStringList synopsis(const QString& name);

} // namespace Help
