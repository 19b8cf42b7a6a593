#pragma once

#include <QString>
#include <QWidget>

class Core;
class Pairing;
class QLabel;
class QPushButton;
class TextBlock;

// The signed-in account's commands: this device's identifier, signing out,
// applying the center's servers (not while connected) and refreshing the
// profile. A press only names its request; the window sends it.
class AccountCommandsPanel : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AccountCommandsPanel)

public:
    // `core` and `pairing` (the window's waiting flag) must outlive the
    // panel.
    AccountCommandsPanel(Core& core, Pairing& pairing, QWidget* parent = nullptr);

    void render();

Q_SIGNALS:
    // The request of the command pressed, e.g. "/account/logout".
    void commandChosen(const QString& path);

protected:
    void changeEvent(QEvent* event) override;

private:
    QPushButton* command(const QString& title, const QString& path);
    void applyStyle();

    Core& m_core;
    Pairing& m_pairing;
    QLabel* m_device = nullptr;
    QPushButton* m_logout = nullptr;
    QPushButton* m_apply = nullptr;
    TextBlock* m_applyNote = nullptr;
    QPushButton* m_refresh = nullptr;
};
