// A second launch, as far as the session bus goes: finds the running copy and
// activates it or hands it links. Exit status 0 when it answered.
//   ovrin_bus_peer finished|any [LINK...]
#include "app/AppBus.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return 64;
    const auto search =
        args.takeFirst() == QLatin1String("any") ? AppBus::Search::Any : AppBus::Search::Finished;
    return AppBus::activateRunning(args, search) ? 0 : 1;
}
