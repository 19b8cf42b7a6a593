#pragma once

#include <QAbstractButton>

// A button drawn as a link: its title in the accent colour, no frame,
// underlined while the pointer is over it.
class LinkButton : public QAbstractButton {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinkButton)

public:
    explicit LinkButton(const QString& title, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool m_hovered = false;
};
