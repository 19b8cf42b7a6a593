#pragma once

#include "signin/EmailSignInFlow.h"

#include <QPointer>
#include <QWidget>

class DeviceIdentity;

class LinkButton;
class ProminentButton;
class QLabel;
class QLineEdit;
class SignInDeviceList;
class TextBlock;

// Signs this computer in with a one-time code sent by e-mail: draws the
// address step, the code step, the choice of a device to replace when every
// place is taken, and the success notice, for the requests EmailSignInFlow
// makes. All its state lives as long as the view.
class EmailSignInView : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EmailSignInView)

public:
    using Request = EmailSignInFlow::Request;

    // `dialogs` asks to confirm a replacement; `device` is the computer
    // signing in. Both must outlive the view.
    EmailSignInView(Request request, Dialogs& dialogs, const DeviceIdentity& device,
                    QWidget* parent = nullptr);

    // Sign-in succeeded; the view shows only the success notice from then on.
    bool isCompleted() const { return m_flow.isCompleted(); }
    // A request is in flight; every control is disabled.
    bool isWaiting() const { return m_flow.isWaiting(); }

Q_SIGNALS:
    // Once, when the center accepted the code.
    void signedIn();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Remembers where the keyboard went when a request disabled its controls.
    void parkFocus();
    // Gives `field` back the keyboard that it lost when a request disabled
    // it, unless the user has put the keyboard elsewhere since. True if given.
    bool takeFocusBack(QLineEdit* field);

    void build();
    QWidget* buildDone();
    void render();
    void applyStyle();

    EmailSignInFlow m_flow;

    QWidget* m_done = nullptr;
    QLabel* m_doneSymbol = nullptr;
    QLabel* m_doneTitle = nullptr;
    TextBlock* m_doneText = nullptr;
    TextBlock* m_title = nullptr;
    TextBlock* m_addressHint = nullptr;
    QWidget* m_addressRow = nullptr;
    QLineEdit* m_emailField = nullptr;
    ProminentButton* m_sendButton = nullptr;
    TextBlock* m_sentTo = nullptr;
    TextBlock* m_placesTaken = nullptr;
    TextBlock* m_chooseDevice = nullptr;
    SignInDeviceList* m_deviceList = nullptr;
    QWidget* m_codeRow = nullptr;
    QLineEdit* m_codeField = nullptr;
    ProminentButton* m_verifyButton = nullptr;
    QWidget* m_linksRow = nullptr;
    LinkButton* m_newCodeButton = nullptr;
    LinkButton* m_otherEmailButton = nullptr;
    QLabel* m_messageLabel = nullptr;
    // Where the keyboard went when a request disabled the field holding it.
    QPointer<QWidget> m_parkedFocus;
};
