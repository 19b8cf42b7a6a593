#pragma once

#include "account/Pairing.h"
#include "cabinet/CabinetView.h"
#include "signin/EmailSignInView.h"

#include <QPointer>
#include <QString>
#include <QWidget>

class Core;
class Dialogs;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;
class TextBlock;
class WrappedText;

// The account window's content: the title row, then the server-list import,
// the sign-in (e-mail, or from another device by QR or code) or the signed-in
// account (cabinet, sign-out, servers, profile, adding a device), chosen by
// Core::account; below them the e-mail confirmation, the message line, the
// helper's account error and the saved sign-in retry. Made fresh each time
// the sheet opens; everything in it, pairing in progress included, ends with
// it. Redraws on every change of the account, the helper status, its own
// state and every pairing tick.
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

    const QString& email() const { return m_email; }
    const QString& code() const { return m_code; }
    const QString& challenge() const { return m_challenge; }
    bool verifyingEmail() const { return m_verifyingEmail; }

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
    void importServers();
    void requestConfirmationCode();
    void confirmEmail();

    void build();
    QWidget* buildImport();
    QWidget* buildSignIn();
    QWidget* buildSignedIn();
    QWidget* buildConfirmation();
    void render();
    void showLayout(Layout layout);
    void renderQr();
    void applyStyle();

    Core& m_core;
    Dialogs& m_dialogs;
    // Its pairing fields, `waiting` and `message` are the window's.
    Pairing m_pairing;

    QString m_email;
    QString m_code;
    QString m_challenge;
    bool m_verifyingEmail = false;
    Layout m_layout = Layout::Import;
    bool m_layoutShown = false;
    // The link whose QR m_qrImage shows.
    QString m_qrShownFor;

    TextBlock* m_title = nullptr;
    QPushButton* m_close = nullptr;

    QWidget* m_import = nullptr;
    TextBlock* m_importNote = nullptr;
    QPushButton* m_importButton = nullptr;

    QWidget* m_signInBox = nullptr;
    QVBoxLayout* m_signInColumn = nullptr;
    QPointer<EmailSignInView> m_signIn;
    QPushButton* m_createPair = nullptr;
    QWidget* m_qrGroup = nullptr;
    QLabel* m_qrImage = nullptr;
    TextBlock* m_qrHint = nullptr;
    WrappedText* m_pairLink = nullptr;
    QLineEdit* m_pairingCodeField = nullptr;
    QPushButton* m_claim = nullptr;

    QWidget* m_signedInBox = nullptr;
    QVBoxLayout* m_signedInColumn = nullptr;
    QPointer<CabinetView> m_cabinet;
    QLabel* m_device = nullptr;
    QPushButton* m_logout = nullptr;
    QPushButton* m_apply = nullptr;
    TextBlock* m_applyNote = nullptr;
    QPushButton* m_refresh = nullptr;
    TextBlock* m_addByQr = nullptr;
    QLineEdit* m_approvalField = nullptr;
    QPushButton* m_approve = nullptr;
    TextBlock* m_approveNote = nullptr;
    QPushButton* m_createCode = nullptr;
    QLabel* m_codeShown = nullptr;
    TextBlock* m_codeNote = nullptr;
    QPushButton* m_verifyEmail = nullptr;

    QWidget* m_confirmation = nullptr;
    QLineEdit* m_emailField = nullptr;
    QPushButton* m_requestCode = nullptr;
    QLineEdit* m_codeField = nullptr;
    QPushButton* m_confirm = nullptr;

    QLabel* m_message = nullptr;
    QLabel* m_accountError = nullptr;
    QPushButton* m_keychainRetry = nullptr;
};
