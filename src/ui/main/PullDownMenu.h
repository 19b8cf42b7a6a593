#pragma once

#include "platform/ModalDepth.h"

#include <QMenu>

#include <memory>

// A menu of the main window. An action may be marked destructive: its title
// and icon are then drawn in red, as a command that deletes something is.
// While the menu is open `modal` is raised: the application counts as being
// in a menu (the status poll and the scans skip their ticks, as under any
// open menu).
class PullDownMenu : public QMenu {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PullDownMenu)

public:
    explicit PullDownMenu(ModalDepth& modal, QWidget* parent = nullptr);
    PullDownMenu(ModalDepth& modal, const QString& title, QWidget* parent);

    static void setDestructive(QAction* action, bool destructive);
    static bool isDestructive(const QAction* action);

protected:
    void initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const override;

private:
    std::unique_ptr<ModalDepth::Scope> m_open;
};
