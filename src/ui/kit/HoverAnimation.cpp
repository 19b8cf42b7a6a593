#include "ui/kit/HoverAnimation.h"

#include <QEvent>
#include <QWidget>

HoverAnimation::HoverAnimation(QWidget* widget, const QEasingCurve& curve, int durationMs)
    : QObject(widget)
    , m_widget(widget)
{
    m_animation.setEasingCurve(curve);
    m_animation.setDuration(durationMs);
    connect(&m_animation, &QVariantAnimation::valueChanged, this, &HoverAnimation::step);
    widget->installEventFilter(this);
}

QEasingCurve HoverAnimation::easeOut()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

void HoverAnimation::setHover(bool hover)
{
    if (hover == m_hover)
        return;
    m_hover = hover;
    m_animation.stop();
    // A reversal mid-way continues from where the face is now, over the full duration.
    m_animation.setStartValue(m_progress);
    m_animation.setEndValue(hover ? 1.0 : 0.0);
    m_animation.start();
}

void HoverAnimation::step(const QVariant& value)
{
    m_progress = value.toReal();
    m_widget->update();
}

bool HoverAnimation::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_widget && event->type() == QEvent::Hide) {
        m_animation.stop();
        m_hover = false;
        m_progress = 0;
    }
    return QObject::eventFilter(watched, event);
}
