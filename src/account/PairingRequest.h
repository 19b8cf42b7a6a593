#pragma once

#include "account/Pairing.h"

#include <QImage>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <optional>

class Core;

// The new device's side of pairing: it opens a pairing request whose link
// shows as a QR code for a minute, polls the request for six minutes until a
// signed-in device approves it, and can claim it with the code that device
// shows. Part of a Pairing, whose waiting flag, message line and pairing
// code it uses; every change of its own state emits changed().
class PairingRequest : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PairingRequest)

public:
    // `core` and `pairing` must outlive it.
    PairingRequest(Core& core, Pairing& pairing);

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

    // Opens a pairing request; on success the QR and link for a minute, the
    // request polled for six.
    void createPair();
    // Polls the open pairing request unless one poll is in flight, its
    // delivery deadline passed, or the account is signed in or holds pending
    // credentials.
    void pollPair();
    // Sends the pairing code typed in as a claim of the request.
    void claimCode();
    // Takes the notice of the QR's minute off the message line once the QR
    // is gone.
    void endQrNotice();

Q_SIGNALS:
    void changed();

private:
    void setPairLink(const QString& link);
    void setPolling(bool polling);
    void polled(const std::optional<QJsonObject>& json, const std::optional<QString>& error);

    Core& m_core;
    Pairing& m_pairing;
    QString m_pairID;
    QString m_pairSecret;
    QString m_pairLink;
    QImage m_pairQr;
    qint64 m_pairDeadline = Pairing::distantPast;
    qint64 m_pairDeliveryDeadline = Pairing::distantPast;
    bool m_polling = false;
};
