#pragma once

#include "core/Core.h"
#include "signin/SignInDevice.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class DeviceIdentity;
class Dialogs;

// The requests of the e-mail sign-in and their rules: asking for a code,
// checking it, replacing a device when every place is taken, and never
// sending a second request while one is in flight. It holds the steps' state
// for EmailSignInView, which draws it again on each changed().
class EmailSignInFlow : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EmailSignInFlow)

public:
    // Sends a POST with `body` (a flat object of strings) to `path` and
    // calls `done` exactly once, on the main thread, never from within the
    // call itself; the account window passes Core::accountRequest.
    using Request = std::function<void(const QString& path, const QMap<QString, QString>& body,
                                       Core::AccountDone done)>;

    // `dialogs` asks to confirm a replacement; it must outlive the flow.
    EmailSignInFlow(Request request, Dialogs& dialogs, const DeviceIdentity& device,
                    QObject* parent = nullptr);

    const QString& email() const { return m_email; }
    const QString& code() const { return m_code; }
    // Empty until the center has sent a code: the address step.
    const QString& challenge() const { return m_challenge; }
    // Why the last request failed; empty when none did.
    const QString& message() const { return m_message; }
    // The devices offered for replacement; empty unless every place is taken.
    const QList<SignInDevice>& devices() const { return m_devices; }
    bool isWaiting() const { return m_waiting; }
    bool isCompleted() const { return m_completed; }
    bool canSendCode() const;
    bool canVerify() const;

    void setEmail(const QString& email);
    void setCode(const QString& code);
    void sendCode();
    // Checks the code; with `replacing`, in place of that device.
    void verify(const std::optional<QString>& replacing = std::nullopt);
    // Asks the user first; replaces `device` only if they agree.
    void confirmReplacement(const SignInDevice& device);
    // Back to the address step.
    void useAnotherAddress();

Q_SIGNALS:
    void changed();
    // After changed(), when a request has gone out.
    void requestSent();
    // After changed(), when the center sent a code: the code step begins.
    void codeSent();
    // After changed(), when no code was sent.
    void codeRequestFailed();
    // After changed(), when the center did not accept the code; devices()
    // holds what it offers for replacement, if anything.
    void verifyFailed();
    // Once, after changed(), when the center accepted the code.
    void signedIn();

private:
    void codeReplied(const std::optional<QJsonObject>& json, const std::optional<QString>& error);
    void verifyReplied(const std::optional<QJsonObject>& json, const std::optional<QString>& error);
    static QString explanation(const std::optional<QString>& error);

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
    bool m_completed = false;
};
