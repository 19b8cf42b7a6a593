#include "ui/kit/HoverAnimation.h"

#include <QEvent>
#include <QWidget>

HoverAnimation::HoverAnimation(QWidget* widget, const QEasingCurve& curve, int durationMs)
    : QObject(widget)
    , widget_(widget)
{
    animation_.setEasingCurve(curve);
    animation_.setDuration(durationMs);
    connect(&animation_, &QVariantAnimation::valueChanged, this, &HoverAnimation::step);
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
    if (hover == hover_)
        return;
    hover_ = hover;
    animation_.stop();
    // A reversal mid-way continues from where the face is now, over the full duration.
    animation_.setStartValue(progress_);
    animation_.setEndValue(hover ? 1.0 : 0.0);
    animation_.start();
}

void HoverAnimation::step(const QVariant& value)
{
    progress_ = value.toReal();
    widget_->update();
}

bool HoverAnimation::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == widget_ && event->type() == QEvent::Hide) {
        animation_.stop();
        hover_ = false;
        progress_ = 0;
    }
    return QObject::eventFilter(watched, event);
}
