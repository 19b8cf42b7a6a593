#pragma once

#include <QString>
#include <QWidget>

class Core;
class Pairing;
class QLineEdit;
class QPushButton;

// Confirming the account's e-mail: the address, a code asked for by letter
// and the code sent back. Shown from begin() until the address is confirmed,
// whatever the layout, keeping what was typed; sign-out does not end it.
class EmailConfirmationPanel : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EmailConfirmationPanel)

public:
    // `core` and `pairing` (the window's waiting flag and message line) must
    // outlive the panel.
    EmailConfirmationPanel(Core& core, Pairing& pairing, QWidget* parent = nullptr);

    void begin();
    bool isActive() const { return m_active; }
    const QString& challenge() const { return m_challenge; }

    void render();

private:
    void requestCode();
    void confirm();

    Core& m_core;
    Pairing& m_pairing;
    bool m_active = false;
    QString m_email;
    QString m_code;
    QString m_challenge;

    QLineEdit* m_emailField = nullptr;
    QPushButton* m_requestCode = nullptr;
    QLineEdit* m_codeField = nullptr;
    QPushButton* m_confirm = nullptr;
};
