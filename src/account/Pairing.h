#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <limits>
#include <memory>

class Core;
class Dialogs;
class PairingApproval;
class PairingRequest;

// Device pairing as the account window shows it: the new device's request
// (PairingRequest) and the signed-in device's approval (PairingApproval),
// with what both share with the window: the `waiting` flag, the message line
// and the pairing code, and the tick that polls them. Lives on the main
// thread; every request goes through Core::accountRequest and completes on
// the main thread, and a completion that finds its side destroyed does
// nothing. Every change of state, on either side, emits changed().
class Pairing : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Pairing)

public:
    static constexpr qint64 distantPast = std::numeric_limits<qint64>::min();

    // `core` and `dialogs` must outlive the Pairing. Every deadline is read
    // against the monotonic scale of Core's clock.
    Pairing(Core& core, Dialogs& dialogs, QObject* parent = nullptr);
    ~Pairing() override;

    PairingRequest& request() { return *m_request; }
    const PairingRequest& request() const { return *m_request; }
    PairingApproval& approval() { return *m_approval; }
    const PairingApproval& approval() const { return *m_approval; }

    // Both sides: the code received (signed-in) or typed in (new device).
    const QString& pairingCode() const { return m_pairingCode; }
    void setPairingCode(const QString& code);

    // Shared with the window: a request of the window is in flight, and the
    // message line.
    bool waiting() const { return m_waiting; }
    void setWaiting(bool waiting);
    const QString& message() const { return m_message; }
    void setMessage(const QString& message);
    // A request of the window has ended: `waiting` goes off and `message`
    // takes the line.
    void finish(const QString& message);

    // Milliseconds on the monotonic scale.
    qint64 now() const;
    // now + seconds, saturated.
    qint64 after(qint64 seconds) const;

    // One tick: the request's poll, then the code's; the QR's notice goes
    // with the QR.
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

    Core& m_core;
    std::unique_ptr<PairingRequest> m_request;
    std::unique_ptr<PairingApproval> m_approval;
    QTimer m_timer;
    QString m_pairingCode;
    bool m_waiting = false;
    QString m_message;
};
