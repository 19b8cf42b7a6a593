#pragma once

#include "account/Pairing.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

class Core;
class Dialogs;

// The signed-in device's side of pairing: it approves a new device by the
// link of that device's QR, or shows a short code for five minutes and
// approves the device that claims it. Nothing is approved before the user
// has seen the device's name and platform and said yes. Part of a Pairing,
// whose waiting flag, message line and pairing code it uses; every change of
// its own state emits changed().
class PairingApproval : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PairingApproval)

public:
    // `core`, `dialogs` and `pairing` must outlive it.
    PairingApproval(Core& core, Dialogs& dialogs, Pairing& pairing);

    const QString& approvalLink() const { return m_approvalLink; }
    void setApprovalLink(const QString& link);
    const QString& codeID() const { return m_codeID; }
    qint64 codeDeadline() const { return m_codeDeadline; }
    // The code is shown: one is held and it is before codeDeadline.
    bool codeShown() const;

    // Reads the link in approvalLink, asks the center who it is, asks the
    // user, and approves.
    void approvePair();
    // Asks the center for a short code, shown and polled for five minutes.
    void createCode();
    // Polls the open code unless a request of the window is in flight; a
    // claim is confirmed with the user and approved.
    void pollCode();

Q_SIGNALS:
    void changed();

private:
    // "Добавить устройство?" with "name · platform" and `warning`; true when
    // the user chose "Добавить". Clears `waiting` first.
    bool confirmDevice(const QJsonObject& reply, const QString& warning);
    void approveLink(const QString& id, const QString& token);
    void approveCode(const QString& requestID);

    Core& m_core;
    Dialogs& m_dialogs;
    Pairing& m_pairing;
    QString m_approvalLink;
    QString m_codeID;
    qint64 m_codeDeadline = Pairing::distantPast;
    // A code confirmation is open; the code is not polled meanwhile.
    bool m_confirmingCode = false;
};
