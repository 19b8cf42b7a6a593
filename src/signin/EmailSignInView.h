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
    bool isCompleted() const { return completed_; }
    // A request is in flight; every control is disabled.
    bool isWaiting() const { return waiting_; }

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

    Request request_;
    Dialogs& dialogs_;
    const DeviceIdentity& m_device;

    QString email_;
    QString code_;
    QString challenge_;
    bool waiting_ = false;
    QString message_;
    QList<SignInDevice> devices_;
    std::optional<SignInDevice> replacement_;
    bool confirmation_ = false;
    bool completed_ = false;

    QWidget* done_ = nullptr;
    QLabel* doneSymbol_ = nullptr;
    QLabel* doneTitle_ = nullptr;
    TextBlock* doneText_ = nullptr;
    TextBlock* title_ = nullptr;
    TextBlock* addressHint_ = nullptr;
    QWidget* addressRow_ = nullptr;
    QLineEdit* emailField_ = nullptr;
    ProminentButton* sendButton_ = nullptr;
    TextBlock* sentTo_ = nullptr;
    TextBlock* placesTaken_ = nullptr;
    TextBlock* chooseDevice_ = nullptr;
    SignInDeviceList* deviceList_ = nullptr;
    QWidget* codeRow_ = nullptr;
    QLineEdit* codeField_ = nullptr;
    ProminentButton* verifyButton_ = nullptr;
    QWidget* linksRow_ = nullptr;
    LinkButton* newCodeButton_ = nullptr;
    LinkButton* otherEmailButton_ = nullptr;
    QLabel* messageLabel_ = nullptr;
    // Where the keyboard went when a request disabled the field holding it.
    QPointer<QWidget> parkedFocus_;
};
