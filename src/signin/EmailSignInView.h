#pragma once

#include "core/Core.h"
#include "signin/SignInDevice.h"

#include <QList>
#include <QMap>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class DeviceIdentity;
class Dialogs;
class LinkButton;
class ProminentButton;
class QLabel;
class QLineEdit;
class SignInDeviceList;
class TextBlock;

// Signs this computer in with a one-time code sent by e-mail: the address
// step, the code step, the choice of a device to replace when every place is
// taken, and the success notice. All its state lives as long as the view.
class EmailSignInView : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EmailSignInView)

public:
    // Sends a POST with `body` (a flat object of strings) to `path` and
    // calls `done` exactly once, on the main thread, never from within the
    // call itself; the account window passes Core::accountRequest.
    using Request = std::function<void(const QString& path, const QMap<QString, QString>& body,
                                       Core::AccountDone done)>;

    // `dialogs` asks to confirm a replacement; `device` is the computer
    // signing in. Both must outlive the view.
    EmailSignInView(Request request, Dialogs& dialogs, const DeviceIdentity& device,
                    QWidget* parent = nullptr);

    // Sign-in succeeded; the view shows only the success notice from then on.
    bool isCompleted() const { return m_completed; }
    // A request is in flight; every control is disabled.
    bool isWaiting() const { return m_waiting; }

Q_SIGNALS:
    // Once, when the center accepted the code.
    void signedIn();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void sendCode();
    void verify(const std::optional<QString>& replacing);
    void codeSent(const std::optional<QJsonObject>& json, const std::optional<QString>& error);
    void verified(const std::optional<QJsonObject>& json, const std::optional<QString>& error);
    // Gives `field` back the keyboard that it lost when a request disabled
    // it, unless the user has put the keyboard elsewhere since. True if given.
    bool takeFocusBack(QLineEdit* field);
    static QString explanation(const std::optional<QString>& error);
    void confirmReplacement(const SignInDevice& device);
    void useAnotherAddress();

    void build();
    QWidget* buildDone();
    void render();
    void applyStyle();

    Request m_request;
    Dialogs& m_dialogs;
    const DeviceIdentity& m_device;

    QString m_email;
    QString m_code;
    QString m_challenge;
    bool m_waiting = false;
    QString m_message;
    QList<SignInDevice> m_devices;
    std::optional<SignInDevice> m_replacement;
    bool m_confirmation = false;
    bool m_completed = false;

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
