#pragma once

#include "ui/main/PullDownMenu.h"

class Core;

// The main window's settings menu. Its three switches show what Core holds
// and never change themselves: a toggle asks Core for the new value and the
// switch is drawn again from Core at once, so it moves only when Core's
// state has changed. Then the account window and the "Логи" submenu.
class SettingsMenu : public PullDownMenu {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SettingsMenu)

public:
    // `core` must outlive the menu.
    explicit SettingsMenu(Core& core, QWidget* parent = nullptr);

    // Draws every item from Core's current state.
    void render();

    QAction* launchAtLogin() const { return m_launchAtLogin; }
    QAction* autoconnect() const { return m_autoconnect; }
    QAction* protection() const { return m_protection; }
    QAction* account() const { return m_account; }
    PullDownMenu* logs() const { return m_logs; }
    QAction* exportLogs() const { return m_export; }
    QAction* clearLogs() const { return m_clear; }

protected:
    void changeEvent(QEvent* event) override;

private:
    QAction* addSwitch(const QString& title, void (Core::*change)(bool));
    void tint();

    Core& m_core;
    QAction* m_launchAtLogin;
    QAction* m_autoconnect;
    QAction* m_protection;
    QAction* m_account;
    PullDownMenu* m_logs;
    QAction* m_export;
    QAction* m_clear;
};
