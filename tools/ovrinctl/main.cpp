// ovrinctl: the command-line client of the helper's control socket.
#include "Commands.h"

#include <QCoreApplication>

#include <functional>
#include <map>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return Commands::usage({}, u"не указана команда"_s);
    const QString command = args.takeFirst();
    if (command == u"-h" || command == u"--help" || command == u"help")
        return Commands::help(args);
    const std::map<QString, std::function<int(const QStringList&)>> commands = {
        {u"request"_s, &Commands::request},         {u"status"_s, &Commands::status},
        {u"connect"_s, &Commands::connect},         {u"disconnect"_s, &Commands::disconnect},
        {u"install"_s, &Commands::install},         {u"protection"_s, &Commands::protection},
        {u"autoconnect"_s, &Commands::autoconnect}, {u"logs"_s, &Commands::logs},
        {u"account"_s, &Commands::account},         {u"cabinet"_s, &Commands::cabinet},
    };
    const auto it = commands.find(command);
    if (it == commands.end())
        return Commands::usage({}, u"неизвестная команда «%1»"_s.arg(command));
    if (args == QStringList{u"--help"_s} || args == QStringList{u"-h"_s})
        return Commands::help({command});
    return it->second(args);
}
