#pragma once

#include <QPushButton>

// The form's main action as a filled button in the accent colour. It has an
// idle and a busy title and keeps the width of the wider one, so that the
// row does not move while a request is in flight.
class ProminentButton : public QPushButton {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProminentButton)

public:
    ProminentButton(const QString& title, const QString& busyTitle, QWidget* parent = nullptr);

    bool isBusy() const { return m_busy; }
    void setBusy(bool busy);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_title;
    QString m_busyTitle;
    bool m_busy = false;
};
