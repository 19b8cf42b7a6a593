#pragma once

#include <QEasingCurve>
#include <QObject>
#include <QVariantAnimation>

class QWidget;

// The hover state of a widget and its animated progress: 0 when the pointer
// is away, 1 when it is over the widget, in between (or beyond, for a spring)
// while the change animates. Repaints the widget on every step. A widget that
// is hidden loses its hover at once (no leave event may follow).
class HoverAnimation : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HoverAnimation)

public:
    HoverAnimation(QWidget* widget, const QEasingCurve& curve, int durationMs);

    // The standard ease-out curve over 0.12 s used by the rows and the menu face.
    static QEasingCurve easeOut();
    static constexpr int easeOutMs = 120;

    void setHover(bool hover);
    bool hover() const { return m_hover; }
    qreal progress() const { return m_progress; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void step(const QVariant& value);

    QWidget* m_widget;
    QVariantAnimation m_animation;
    bool m_hover = false;
    qreal m_progress = 0;
};
