#include "app/OvrinApp.h"

#include "app/AppBus.h"
#include "app/AppInstance.h"
#include "app/Delegate.h"
#include "platform/ModalDepth.h"
#include "platform/ResourceFolder.h"
#include "platform/desktop/MachineInfoIdentity.h"
#include "platform/desktop/NetworkManagerVpns.h"
#include "platform/desktop/QtDialogs.h"
#include "platform/desktop/Syslog.h"
#include "platform/desktop/XdgLoginItem.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QSocketNotifier>
#include <QTimer>
#include <QTranslator>

#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT take the same way out as "Выйти и отключить".
void quitOnSignals(Delegate& delegate)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &delegate);
    QObject::connect(notifier, &QSocketNotifier::activated, &delegate, [&delegate] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &byte, 1);
        delegate.quit();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

// White space and line breaks around a link (a line copied from a letter
// keeps its CR) are not part of it.
QStringList linksIn(const QStringList& arguments)
{
    QStringList links;
    for (const QString& argument : arguments.mid(1)) {
        const QString link = argument.trimmed();
        if (link.startsWith(u"ovrin:"_s, Qt::CaseInsensitive))
            links << link;
    }
    return links;
}

int run(QApplication& app)
{
    const QStringList links = linksIn(QCoreApplication::arguments());
    if (AppBus::activateRunning(links, AppBus::Search::Finished))
        return 0;

    // Raised by the dialogs and the settings menu; Core's ticks and the tray
    // glyph wait while it is.
    ModalDepth modal;
    const QString dataFolder = QDir::homePath() + u"/Library/Application Support/Ovrin"_s;
    AppInstance::Result guard = AppInstance::acquire(dataFolder);
    if (const auto* error = std::get_if<AppInstance::Error>(&guard)) {
        if (error->code == EWOULDBLOCK) {
            AppBus::activateRunning(links, AppBus::Search::Any);
            return 0;
        }
        QtDialogs(modal).alert(u"Не удалось запустить Оврин"_s,
                               u"Не удалось проверить, запущено ли другое окно: "_s +
                                   error->description);
        return 0;
    }

    QtDialogs dialogs(modal);
    XdgLoginItem loginItem;
    Syslog systemLog;
    NetworkManagerVpns vpns;
    const MachineInfoIdentity device;
    CorePorts ports;
    ports.dialogs = &dialogs;
    ports.modal = &modal;
    ports.device = &device;
    ports.loginItem = &loginItem;
    ports.systemLog = &systemLog;
    ports.vpns = &vpns;
    ports.resourceFolder = ResourceFolder::find();
    ports.arguments = QCoreApplication::arguments();
    Delegate delegate(std::move(ports));
    AppBus bus;
    QObject::connect(&bus, &AppBus::activateRequested, &delegate, &Delegate::showWindow);
    QObject::connect(&bus, &AppBus::linksReceived, &delegate, &Delegate::openLinks);
    quitOnSignals(delegate);

    // Launching has finished once the event loop runs.
    QTimer::singleShot(0, &delegate, [&] {
        delegate.start();
        bus.publish();
        if (!links.isEmpty())
            delegate.openLinks(links);
    });
    app.exec();
    return 0;
}

} // namespace

int OvrinApp::main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The name panels show for the tray item (its StatusNotifierItem title).
    QApplication::setApplicationName(u"Оврин"_s);
    QApplication::setApplicationDisplayName(u"Оврин"_s);
    QApplication::setDesktopFileName(u"org.ovrin.menubarapp"_s);
    OvrinApp::loadQtTranslations();
    QApplication::setWindowIcon(
        QIcon::fromTheme(u"org.ovrin.menubarapp"_s, QIcon(u":/app/org.ovrin.menubarapp.svg"_s)));
    run(app);
    return 0;
}

bool OvrinApp::loadQtTranslations()
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), u"qtbase"_s, u"_"_s,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
