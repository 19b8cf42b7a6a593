#include "app/Delegate.h"

#include "app/MainWindow.h"
#include "app/TrayGlyph.h"
#include "app/TrayMenu.h"
#include "platform/ModalDepth.h"
#include "ui/kit/Symbols.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QFile>
#include <QMenu>
#include <QPalette>
#include <QSystemTrayIcon>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

constexpr int watchPeriodMs = 1000;

// The glyph's ink and its halo (see TrayGlyph): the application's text
// colour and its opposite, the window colour.
QColor glyphInk()
{
    return QGuiApplication::palette().color(QPalette::WindowText);
}

QColor glyphHalo()
{
    return QGuiApplication::palette().color(QPalette::Window);
}

// Whether QSystemTrayIcon will export itself as a StatusNotifierItem, drawn
// by the host with its own menu: the same test Qt makes when it creates the
// tray icon.
bool trayOnDBus()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const QString watcher = u"org.kde.StatusNotifierWatcher"_s;
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(watcher))
        return false;
    QDBusInterface props(watcher, u"/StatusNotifierWatcher"_s, watcher, bus);
    return props.property("IsStatusNotifierHostRegistered").toBool();
}

} // namespace

Delegate::Delegate(CorePorts ports, QObject* parent)
    : QObject(parent)
    , m_core(nullptr)
    , m_menu(std::make_unique<QMenu>())
    , m_resourceFolder(ports.resourceFolder)
    , m_dialogs(ports.dialogs)
{
    Q_ASSERT(m_dialogs);
    m_core = std::make_unique<Core>(std::move(ports));
    m_trayMenu = new TrayMenu(m_menu.get(),
                              {[this](int index) { m_core->connect(index); },
                               [this] { m_core->disconnect(); }, [this] { showWindow(); },
                               [this] {
                                   if (m_window)
                                       m_window->activateWindow();
                                   m_core->checkUpdates();
                               },
                               [this] { quit(); }},
                              this);
    // The menu follows the state while it is closed, so a host that never
    // says it opens the menu still shows the current one; a popup on screen
    // is not changed under the pointer. Opening it pauses nothing: a D-Bus
    // host may announce an opening and never its end.
    connect(m_core.get(), &Core::statusChanged, this, [this] {
        if (!m_menu->isVisible())
            m_trayMenu->update(m_core->status());
    });
    connect(m_menu.get(), &QMenu::aboutToShow, this,
            [this] { m_trayMenu->update(m_core->status()); });
    connect(qApp, &QCoreApplication::aboutToQuit, this, &Delegate::terminate);
    qApp->installEventFilter(this);
    m_watch.setInterval(watchPeriodMs);
    connect(&m_watch, &QTimer::timeout, this, [this] {
        if (!m_core->modalDepth().blocked())
            paint();
    });
}

Delegate::~Delegate()
{
    delete m_window;
}

void Delegate::start()
{
    QApplication::setQuitOnLastWindowClosed(false);
    m_core->launch();

    m_trayMenu->setHost(trayOnDBus() ? TrayMenu::Host::DBusMenu : TrayMenu::Host::Popup);
    m_trayMenu->update(m_core->status());
    m_tray = std::make_unique<QSystemTrayIcon>();
    m_tray->setToolTip(TrayMenu::tooltip(m_core->status()));
    m_tray->setContextMenu(m_menu.get());
    connect(m_tray.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    toggleWindow();
            });
    paint();
    m_tray->show();
    m_watch.start();
    showWindow();
}

void Delegate::showWindow()
{
    if (!m_window)
        m_window = new MainWindow(*m_core, *m_dialogs, [this] { quit(); });
    m_window->present();
}

void Delegate::toggleWindow()
{
    if (m_window && m_window->isVisible() && !m_window->isMinimized())
        m_window->hide();
    else
        showWindow();
}

void Delegate::openLinks(const QStringList& links)
{
    for (const QString& link : links)
        m_core->receiveAuthLink(QUrl(link.trimmed(), QUrl::StrictMode));
}

void Delegate::quit()
{
    if (!m_terminated && !m_core->updates().authorizeTermination())
        return;
    terminate();
    // exit(), not quit(): quit() first asks every window to close and gives
    // up when one refuses, and the main window only ever hides.
    QCoreApplication::exit(0);
}

void Delegate::terminate()
{
    if (m_terminated)
        return;
    m_terminated = true;
    m_watch.stop();
    m_core->updates().disconnectForTermination();
    m_core->shutdown();
}

bool Delegate::connected(const Status& status)
{
    return status.running && status.latency_ms >= 1 && status.primary;
}

void Delegate::paint()
{
    if (!m_tray)
        return;
    // Sent to the panel only when it changes.
    if (const QString tip = TrayMenu::tooltip(m_core->status()); tip != m_tray->toolTip())
        m_tray->setToolTip(tip);
    const bool bright = connected(m_core->status());
    // Setting the same icon again would resend it to the panel every second.
    if (bright == m_bright && !m_tray->icon().isNull())
        return;
    m_bright = bright;
    QIcon icon = glyph(bright);
    if (icon.isNull())
        icon = Symbols::icon(bright ? u"cloud.fog.fill"_s : u"cloud.fog"_s, glyphInk(), 16);
    m_tray->setIcon(icon);
}

bool Delegate::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == qApp && (event->type() == QEvent::ApplicationPaletteChange ||
                            event->type() == QEvent::ThemeChange)) {
        m_glyph.reset();
        m_glyphDim.reset();
        if (m_tray) {
            m_tray->setIcon(QIcon());
            paint();
        }
    }
    return QObject::eventFilter(watched, event);
}

const QIcon& Delegate::glyph(bool bright)
{
    if (!m_glyphSvg) {
        QFile file(m_resourceFolder.value_or(QString()) + u"/menubar.svg"_s);
        m_glyphSvg = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    std::optional<QIcon>& cached = bright ? m_glyph : m_glyphDim;
    if (!cached)
        cached = TrayGlyph::icon(*m_glyphSvg, bright ? 1.0 : 0.4, glyphInk(), glyphHalo());
    return *cached;
}
