#pragma once

#include "signin/SignInDevice.h"

#include <QWidget>

class QLabel;
class QPushButton;
class TextBlock;

// One device offered for replacement: its symbol, name and platform (the
// platform line only when there is one), and the button "Заменить", on a
// softly filled rounded background.
class SignInDeviceRow : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SignInDeviceRow)

public:
    explicit SignInDeviceRow(const SignInDevice& device, QWidget* parent = nullptr);

    const SignInDevice& device() const { return m_device; }
    QPushButton* replaceButton() const { return m_replace; }

Q_SIGNALS:
    void replaceRequested(const SignInDevice& device);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyStyle();

    SignInDevice m_device;
    QLabel* m_symbol;
    TextBlock* m_name;
    TextBlock* m_platform;
    QPushButton* m_replace;
};
