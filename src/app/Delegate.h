#pragma once

#include "core/Core.h"

#include <QIcon>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <optional>

#include "app/MainWindow.h"
class Dialogs;
class TrayMenu;
class QMenu;
class QSystemTrayIcon;

// The application shell: owns the one Core, the tray icon with its menu and
// the main window, and the one way out (quit → stop the tunnel → shut Core
// down). Main thread only.
class Delegate : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Delegate)

public:
    // `ports` are handed to the Core this delegate owns. `resourceFolder`
    // holds "menubar.svg".
    explicit Delegate(CorePorts ports, QObject* parent = nullptr);
    ~Delegate() override;

    // Once launching has finished: Core.launch(), the tray icon, the glyph
    // timer, then the window.
    void start();

    void showWindow();
    // A left click on the tray icon: hide the window when visible, else show it.
    void toggleWindow();
    // ovrin: links, in order, to the Core.
    void openLinks(const QStringList& links);
    // Quit and disconnect: unless an update installation forbids it, stops the
    // tunnel, shuts Core down and ends the event loop. Once.
    void quit();

    Core& core() { return *m_core; }
    MainWindow* window() const { return m_window; }
    QSystemTrayIcon* trayIcon() const { return m_tray.get(); }
    QMenu* menu() const { return m_menu.get(); }
    TrayMenu* trayMenu() const { return m_trayMenu; }
    // Whether the last paint showed the bright glyph.
    bool glyphBright() const { return m_bright; }
    bool quitting() const { return m_terminated; }

    // Bright when a tunnel runs, carries the traffic and has a latency.
    static bool connected(const Status& status);

protected:
    // Palette and theme changes draw the glyph again in the new colours.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void paint();
    // The glyph for one brightness at the sizes panels ask for; the SVG is
    // read once and a failure is kept too.
    const QIcon& glyph(bool bright);
    // Stops the tunnel and Core once, whichever way the application ends.
    void terminate();

    std::unique_ptr<Core> m_core;
    std::unique_ptr<QMenu> m_menu;
    TrayMenu* m_trayMenu = nullptr;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    QPointer<MainWindow> m_window;
    QTimer m_watch;
    std::optional<QByteArray> m_glyphSvg;
    std::optional<QIcon> m_glyph;
    std::optional<QIcon> m_glyphDim;
    std::optional<QString> m_resourceFolder;
    Dialogs* m_dialogs;
    bool m_bright = false;
    bool m_terminated = false;
};
