#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QVariantAnimation>

class HoverAnimation;

// The large round connect / disconnect button. Its look follows from four
// inputs: off (grey), checking (slate blue, a gradient arc turning once every
// 3 s, not pressable), connected (green) and stalled (amber, over any other).
// While busy it is dimmed to 45 % and not pressable. Under the pointer an
// enabled button grows to 1.05 on a spring and casts a glow of its tint.
// A press emits clicked(); the caller decides what it does.
//
// The widget is larger than the 78-point circle by `margin` on every side,
// room for the hover growth and the glow; only the circle takes presses.
class PowerButton : public QAbstractButton {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PowerButton)

public:
    enum class Look { Off, Checking, Connected, Stalled };
    Q_ENUM(Look)

    static constexpr int ringSize = 78;
    static constexpr int margin = 13;

    explicit PowerButton(QWidget* parent = nullptr);

    // `on`: the tunnel runs on the channel this button targets; `verified`:
    // traffic through it is confirmed; `stalled`: another tunnel holds the
    // route; `busy`: a command runs or the helper is missing.
    void setState(bool on, bool verified, bool stalled, bool busy);

    Look look() const;
    bool isChecking() const { return look() == Look::Checking; }
    bool isBusy() const { return m_busy; }
    QColor tint() const { return tint(look()); }
    // 0.45 while busy, 1 otherwise.
    qreal faceOpacity() const;
    // The checking arc's rotation in degrees, clockwise.
    qreal angle() const { return m_angle; }
    bool isHovered() const;

    static QColor tint(Look look);
    static QString toolTipFor(Look look);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void paintFace(QPainter& painter, qreal hover) const;
    bool inCircle(const QPointF& position) const;
    void setPointerInside(bool inside);
    void updateHover();
    void startSpin();

    bool m_on = false;
    bool m_verified = false;
    bool m_stalled = false;
    bool m_busy = false;
    bool m_pointerInside = false;
    qreal m_angle = 0;
    QVariantAnimation m_spin;
    HoverAnimation* m_hover;
};
