#pragma once

#include <QWidget>

class Pairing;
class QLabel;
class QLineEdit;
class QPushButton;
class TextBlock;

// Adding a device from the signed-in one: by the link of the new device's QR
// (pasted, then approved), or by a short code shown here for five minutes.
class PairingApprovalPanel : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PairingApprovalPanel)

public:
    // `pairing` must outlive the panel.
    explicit PairingApprovalPanel(Pairing& pairing, QWidget* parent = nullptr);

    void render();

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyStyle();

    Pairing& m_pairing;
    TextBlock* m_title = nullptr;
    QLineEdit* m_linkField = nullptr;
    QPushButton* m_approve = nullptr;
    TextBlock* m_approveNote = nullptr;
    QPushButton* m_createCode = nullptr;
    QLabel* m_code = nullptr;
    TextBlock* m_codeNote = nullptr;
};
