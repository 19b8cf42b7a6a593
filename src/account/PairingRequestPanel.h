#pragma once

#include <QString>
#include <QWidget>

class Pairing;
class QLabel;
class QLineEdit;
class QPushButton;
class TextBlock;
class WrappedText;

// Signing in from another device, on the new device: the button that opens
// a pairing request and, for the QR's minute, the QR code, its link as text
// and the field for the code that the signed-in device shows, with its
// button.
class PairingRequestPanel : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PairingRequestPanel)

public:
    // `pairing` must outlive the panel.
    explicit PairingRequestPanel(Pairing& pairing, QWidget* parent = nullptr);

    // `shown`: the sign-in layout is on screen; the QR group shows only then.
    void render(bool shown);

protected:
    void changeEvent(QEvent* event) override;

private:
    void renderQr();
    void applyStyle();

    Pairing& m_pairing;
    // The link whose QR m_qrImage shows.
    QString m_qrShownFor;

    QPushButton* m_create = nullptr;
    QWidget* m_qrGroup = nullptr;
    QLabel* m_qrImage = nullptr;
    TextBlock* m_qrHint = nullptr;
    WrappedText* m_link = nullptr;
    QLineEdit* m_codeField = nullptr;
    QPushButton* m_claim = nullptr;
};
