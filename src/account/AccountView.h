#pragma once

#include "account/EmailConfirmationPanel.h"
#include "account/Pairing.h"
#include "cabinet/CabinetView.h"
#include "signin/EmailSignInView.h"

#include <QPointer>
#include <QString>
#include <QWidget>

class AccountCommandsPanel;
class AccountImportPanel;
class Core;
class Dialogs;
class PairingApprovalPanel;
class PairingRequestPanel;
class QLabel;
class QPushButton;
class QVBoxLayout;
class TextBlock;

// The account window's content: the title row, then one of three layouts
// chosen by Core::account: the server-list import; the sign-in (e-mail, or
// from another device by QR or code); or the signed-in account (cabinet,
// commands, adding a device). Below them the e-mail confirmation, the
// message line, the helper's account error and the saved sign-in retry. Made
// fresh each time the sheet opens; everything in it, pairing in progress
// included, ends with it. Redraws on every change of the account, the helper
// status, its own state and every pairing tick.
class AccountView : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AccountView)

public:
    enum class Layout { Import, SignIn, SignedIn };

    static constexpr QSize contentSize{500, 620};

    // `core` and `dialogs` must outlive the view. The pairing tick starts at
    // once.
    AccountView(Core& core, Dialogs& dialogs, QWidget* parent = nullptr);
    ~AccountView() override;

    Layout layout() const { return m_layout; }
    Pairing& pairing() { return m_pairing; }
    // Built only while their layout is shown.
    EmailSignInView* signInView() const { return m_signIn; }
    CabinetView* cabinetView() const { return m_cabinet; }

    const QString& challenge() const { return m_confirmation->challenge(); }
    bool verifyingEmail() const { return m_confirmation->isActive(); }

protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // POSTs "{}" to `path`; the message line gets the error or "Готово.".
    void perform(const QString& path);
    // "Готово." speaks of the command just finished: it goes at the user's
    // next press or keystroke in the window, before it can stand under a
    // later step (a sign-in code, say) as if it were about that.
    void awaitNextStep();

    void build();
    QWidget* buildSignIn(QWidget* parent);
    QWidget* buildSignedIn(QWidget* parent);
    void render();
    void showLayout(Layout layout);
    void applyStyle();

    Core& m_core;
    Dialogs& m_dialogs;
    // Its `waiting` and `message` are the window's.
    Pairing m_pairing;

    Layout m_layout = Layout::Import;
    bool m_layoutShown = false;

    TextBlock* m_title = nullptr;
    AccountImportPanel* m_import = nullptr;

    QWidget* m_signInBox = nullptr;
    QVBoxLayout* m_signInColumn = nullptr;
    QPointer<EmailSignInView> m_signIn;
    PairingRequestPanel* m_pairingRequest = nullptr;

    QWidget* m_signedInBox = nullptr;
    QVBoxLayout* m_signedInColumn = nullptr;
    QPointer<CabinetView> m_cabinet;
    AccountCommandsPanel* m_commands = nullptr;
    PairingApprovalPanel* m_pairingApproval = nullptr;

    EmailConfirmationPanel* m_confirmation = nullptr;
    QLabel* m_message = nullptr;
    QLabel* m_accountError = nullptr;
    QPushButton* m_keychainRetry = nullptr;
};
