#pragma once

#include "ui/main/PullDownMenu.h"

#include <QPointer>

class Core;

// The main window's settings menu. Its three switches show what Core holds
// and never change themselves: a toggle asks Core for the new value and the
// switch is drawn again from Core at once, so it moves only when Core's
// state has changed. Then the account window and the "Логи" submenu.
class SettingsMenu : public PullDownMenu {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SettingsMenu)

public:
    explicit SettingsMenu(Core* core, QWidget* parent = nullptr);

    // Draws every item from Core's current state.
    void render();

    QAction* launchAtLogin() const { return launchAtLogin_; }
    QAction* autoconnect() const { return autoconnect_; }
    QAction* protection() const { return protection_; }
    QAction* account() const { return account_; }
    PullDownMenu* logs() const { return logs_; }
    QAction* exportLogs() const { return export_; }
    QAction* clearLogs() const { return clear_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    QAction* addSwitch(const QString& title, void (Core::*change)(bool));
    void tint();

    QPointer<Core> core_;
    QAction* launchAtLogin_;
    QAction* autoconnect_;
    QAction* protection_;
    QAction* account_;
    PullDownMenu* logs_;
    QAction* export_;
    QAction* clear_;
};
