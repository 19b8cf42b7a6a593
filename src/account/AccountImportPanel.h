#pragma once

#include <QWidget>

class Core;
class Pairing;
class TextBlock;

// The import of the signed server list, which the center needs before
// anything else: a note and the button that asks for the folder. The outcome
// goes to the window's message line.
class AccountImportPanel : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AccountImportPanel)

public:
    // `core` and `pairing` (the window's message line) must outlive the
    // panel.
    AccountImportPanel(Core& core, Pairing& pairing, QWidget* parent = nullptr);

protected:
    void changeEvent(QEvent* event) override;

private:
    void importServers();
    void applyStyle();

    Core& m_core;
    Pairing& m_pairing;
    TextBlock* m_note = nullptr;
};
