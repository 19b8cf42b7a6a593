#pragma once

#include <QObject>
#include <QString>

class Core;
class Popover;
class QWidget;
class WarningButton;

// The warning in the main view's top-left corner while another VPN is up:
// the button, and the popover it opens naming that VPN. Whether the popover
// is open is its one value of its own; the rest is read from Core. The view
// places the button; both widgets are the view's children.
class ParallelVPNWarning : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ParallelVPNWarning)

public:
    // `core` must outlive the warning.
    ParallelVPNWarning(Core& core, QWidget* view);

    bool isOpen() const { return m_open; }
    // The warning's text.
    QString text() const;
    WarningButton* button() const { return m_button; }
    Popover* popover() const { return m_popover; }

    // Shows or hides the button and the popover as Core and isOpen() say.
    void render();

private:
    void setOpen(bool open);
    void parallelVPNsChanged();

    Core& m_core;
    QWidget* m_view;
    bool m_open = false;
    WarningButton* m_button = nullptr;
    Popover* m_popover = nullptr;
};
