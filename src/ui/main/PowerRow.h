#pragma once

#include <QWidget>

class PowerButton;
class TextBlock;

// The top of the main window: the power button centred, and under it the
// caption "Проверяю связь…", which is always laid out and drawn only while
// the connection is checked, so nothing below moves. The button's widget is
// larger than its circle by PowerButton::margin on every side (room for the
// hover glow); the row places the circle, not the widget: `circleTop` below
// the row's top, and the caption `captionGap` below the circle.
class PowerRow : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PowerRow)

public:
    static constexpr int circleTop = 2;
    static constexpr int captionGap = 14 - 8;

    explicit PowerRow(QWidget* parent = nullptr);

    PowerButton* button() const { return m_button; }
    TextBlock* caption() const { return m_caption; }
    void setChecking(bool checking);

    // How far this widget starts above the row's top: the column that holds
    // it takes this off its top padding.
    static int overhang();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int captionTop() const;

    PowerButton* m_button;
    TextBlock* m_caption;
};
