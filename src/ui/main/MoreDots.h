#pragma once

#include <QColor>
#include <QToolButton>

class HoverAnimation;

// The settings button of the main window: a borderless 22 × 28 face of three
// vertical dots that brightens, over a faint rounded background, under the
// pointer. Give it the menu with setMenu(); a press opens the menu at once and
// no menu arrow is drawn. Once the menu has closed the face is lit only if the
// pointer is on it. Its tooltip is "Настройки".
class MoreDots : public QToolButton {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MoreDots)

public:
    explicit MoreDots(QWidget* parent = nullptr);

    bool isHovered() const;
    // The dots' and the background's colours as painted now.
    QColor dotColour() const;
    QColor background() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void followPointer();

    HoverAnimation* m_hover;
};
