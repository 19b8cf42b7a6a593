#include "cabinet/BusyIndicator.h"

#include "ui/kit/SystemColours.h"

#include <QPainter>

namespace {

constexpr int turnMs = 1000;
constexpr int arcDegrees = 100;

} // namespace

BusyIndicator::BusyIndicator(int size, QWidget* parent)
    : QWidget(parent)
    , size_(size)
{
    setFixedSize(size, size);
    turn_.setStartValue(0.0);
    turn_.setEndValue(360.0);
    turn_.setDuration(turnMs);
    turn_.setLoopCount(-1);
    connect(&turn_, &QVariantAnimation::valueChanged, this, [this] { update(); });
}

QSize BusyIndicator::sizeHint() const
{
    return {size_, size_};
}

void BusyIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal pen = std::max(1.5, size_ / 8.0);
    const QRectF box = QRectF(rect()).adjusted(pen / 2, pen / 2, -pen / 2, -pen / 2);
    painter.setPen(QPen(SystemColours::tertiaryLabel(palette()), pen));
    painter.drawEllipse(box);
    painter.setPen(
        QPen(SystemColours::secondaryLabel(palette()), pen, Qt::SolidLine, Qt::RoundCap));
    const qreal angle = turn_.currentValue().toReal();
    // Qt counts sixteenths of a degree, counter-clockwise from three o'clock.
    painter.drawArc(box, int((90 - angle) * 16), -arcDegrees * 16);
}

void BusyIndicator::showEvent(QShowEvent* event)
{
    turn_.start();
    QWidget::showEvent(event);
}

void BusyIndicator::hideEvent(QHideEvent* event)
{
    turn_.stop();
    QWidget::hideEvent(event);
}
