#include "app/Delegate.h"

#include "app/MainWindow.h"
#include "app/TrayGlyph.h"
#include "app/TrayMenu.h"
#include "platform/ModalDepth.h"
#include "ui/main/Symbols.h"

#include <QApplication>
#include <QMenu>
#include <QPalette>
#include <QSystemTrayIcon>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

constexpr int watchPeriodMs = 1000;

// The panel is not ours to read; the application's own text colour follows
// the desktop's light or dark scheme, which panels usually share.
QColor glyphColour()
{
    return QGuiApplication::palette().color(QPalette::WindowText);
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
    // The menu counts as modal while open: the status poll and the glyph wait.
    auto scope = std::make_shared<std::optional<ModalDepth::Scope>>();
    connect(m_menu.get(), &QMenu::aboutToShow, this, [this, scope] {
        scope->emplace();
        rebuildMenu();
    });
    connect(m_menu.get(), &QMenu::aboutToHide, this, [scope] { scope->reset(); });
    connect(qApp, &QCoreApplication::aboutToQuit, this, &Delegate::terminate);
    m_watch.setInterval(watchPeriodMs);
    connect(&m_watch, &QTimer::timeout, this, [this] {
        if (!ModalDepth::blocked())
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

    m_tray = std::make_unique<QSystemTrayIcon>();
    m_tray->setToolTip(u"Оврин"_s);
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
    if (m_window && m_window->isVisible())
        m_window->hide();
    else
        showWindow();
}

void Delegate::openLinks(const QStringList& links)
{
    for (const QString& link : links)
        m_core->receiveAuthLink(QUrl(link));
}

void Delegate::quit()
{
    if (m_terminated || !m_core->updates().authorizeTermination())
        return;
    terminate();
    QCoreApplication::quit();
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
    const bool bright = connected(m_core->status());
    // Setting the same icon again would resend it to the panel every second.
    if (bright == m_bright && !m_tray->icon().isNull())
        return;
    m_bright = bright;
    QIcon icon = glyph(bright);
    if (icon.isNull())
        icon = Symbols::icon(bright ? u"cloud.fog.fill"_s : u"cloud.fog"_s, glyphColour(), 16);
    m_tray->setIcon(icon);
}

const QIcon& Delegate::glyph(bool bright)
{
    std::optional<QIcon>& cached = bright ? m_glyph : m_glyphDim;
    if (!cached) {
        cached.emplace();
        const QString path = m_resourceFolder.value_or(QString()) + u"/menubar.svg"_s;
        for (const qreal ratio : {1.0, 2.0}) {
            const QImage image = TrayGlyph::load(path, bright ? 1.0 : 0.4, glyphColour(), ratio);
            if (image.isNull())
                break;
            cached->addPixmap(QPixmap::fromImage(image));
        }
    }
    return *cached;
}

void Delegate::rebuildMenu()
{
    TrayMenu::fill(m_menu.get(), m_core->status(),
                   {[this](int index) { m_core->connect(index); }, [this] { m_core->disconnect(); },
                    [this] { showWindow(); },
                    [this] {
                        if (m_window)
                            m_window->activateWindow();
                        m_core->checkUpdates();
                    },
                    [this] { quit(); }});
}
