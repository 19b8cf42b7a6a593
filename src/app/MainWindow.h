#pragma once

#include <QWidget>

#include <functional>

class Core;
class Dialogs;
class MainView;

// The one floating window: "Оврин", a close button only, above normal
// windows, no taskbar entry. Closing hides it; it is never destroyed during
// a run, so the view's state (the selected row) survives. Ctrl+Q in it quits.
class MainWindow : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    // `dialogs` serves the account window's alerts and panels; it must
    // outlive the window.
    MainWindow(Core& core, Dialogs& dialogs, std::function<void()> quit, QWidget* parent = nullptr);

    // Shows it centred on first use, raises it and gives it the focus.
    void present();

    MainView* view() const { return m_view; }

protected:
    void closeEvent(QCloseEvent* event) override;
    // A window that grows (a long list, a warning row) stays on its screen.
    void resizeEvent(QResizeEvent* event) override;

private:
    MainView* m_view = nullptr;
    bool m_placed = false;
};
