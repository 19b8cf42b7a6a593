#pragma once

#include <QImage>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>

#include <limits>

class Core;
class Dialogs;

// Device pairing as the account window shows it: the new device's pairing
// request (QR link, code claim, its poll) and the signed-in device's side
// (approving a link, a short code and its poll), with the window's shared
// `waiting` flag and message line. Lives on the main thread; every request
// goes through Core::accountRequest and completes on the main thread, and a
// completion that finds the Pairing destroyed does nothing. Every change of
// state emits changed().
class Pairing : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Pairing)

public:
    static constexpr qint64 distantPast = std::numeric_limits<qint64>::min();

    // `core` and `dialogs` must outlive the Pairing. Every deadline is read
    // against the monotonic scale of Core's clock.
    Pairing(Core& core, Dialogs& dialogs, QObject* parent = nullptr);
    ~Pairing() override;

    // New device.
    const QString& pairID() const { return m_pairID; }
    const QString& pairSecret() const { return m_pairSecret; }
    const QString& pairLink() const { return m_pairLink; }
    qint64 pairDeadline() const { return m_pairDeadline; }
    qint64 pairDeliveryDeadline() const { return m_pairDeliveryDeadline; }
    bool polling() const { return m_polling; }
    // The QR code of pairLink (null when there is none or it cannot be made).
    const QImage& pairQr() const { return m_pairQr; }
    // The QR group (image, link, code entry) is shown: a link whose QR could
    // be made, before pairDeadline.
    bool qrShown() const;

    // Signed-in device.
    const QString& approvalLink() const { return m_approvalLink; }
    void setApprovalLink(const QString& link);
    const QString& codeID() const { return m_codeID; }
    qint64 codeDeadline() const { return m_codeDeadline; }
    // The code is shown: one is held and it is before codeDeadline.
    bool codeShown() const;

    // Both sides: the code received (signed-in) or typed in (new device).
    const QString& pairingCode() const { return m_pairingCode; }
    void setPairingCode(const QString& code);

    // Shared with the window: a request of the window is in flight, and the
    // message line.
    bool waiting() const { return m_waiting; }
    void setWaiting(bool waiting);
    const QString& message() const { return m_message; }
    void setMessage(const QString& message);

    // Milliseconds on the monotonic scale.
    qint64 now() const;

    // Opens a pairing request; on success the QR and link for a minute, the
    // request polled for six.
    void createPair();
    // Polls the open pairing request unless one poll is in flight, its
    // delivery deadline passed, or the account is signed in or holds pending
    // credentials.
    void pollPair();
    // Sends the code typed on the new device as a claim of its request.
    void claimCode();
    // Reads the link in approvalLink, asks the center who it is, asks the
    // user, and approves.
    void approvePair();
    // Asks the center for a short code, shown and polled for five minutes.
    void createCode();
    // Polls the open code unless a request of the window is in flight; a
    // claim is confirmed with the user and approved.
    void pollCode();

    // One tick: pollPair, then pollCode; the QR's notice goes with the QR.
    void tick();
    // The 2 s tick. It fires while alerts are open too.
    void startTicking();
    void stopTicking();

Q_SIGNALS:
    void changed();
    // After each tick, changed or not: the deadlines may have passed.
    void ticked();

private:
    template <typename T>
    void assign(T& field, const T& value)
    {
        if (field == value)
            return;
        field = value;
        Q_EMIT changed();
    }
    void setPairLink(const QString& link);
    void setPolling(bool polling) { assign(m_polling, polling); }
    // now + seconds, saturated.
    qint64 after(qint64 seconds) const;
    // "Добавить устройство?" with "name · platform" and `warning`; true when
    // the user chose "Добавить". Clears `waiting` first.
    bool confirmDevice(const QJsonObject& reply, const QString& warning);
    void approveLink(const QString& id, const QString& token);
    void approveCode(const QString& requestID);

    Core& m_core;
    Dialogs& m_dialogs;
    QTimer m_timer;

    QString m_pairID;
    QString m_pairSecret;
    QString m_pairLink;
    QImage m_pairQr;
    qint64 m_pairDeadline = distantPast;
    qint64 m_pairDeliveryDeadline = distantPast;
    bool m_polling = false;
    QString m_approvalLink;
    QString m_pairingCode;
    QString m_codeID;
    qint64 m_codeDeadline = distantPast;
    bool m_waiting = false;
    QString m_message;
    // A code confirmation is open; the code is not polled meanwhile.
    bool m_confirmingCode = false;
};
