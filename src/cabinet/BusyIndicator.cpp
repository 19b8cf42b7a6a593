#include "cabinet/BusyIndicator.h"

#include "ui/kit/SystemColours.h"

#include <QPainter>

namespace {

constexpr int turnMs = 1000;
constexpr int arcDegrees = 100;

} // namespace

BusyIndicator::BusyIndicator(int size, QWidget* parent)
    : QWidget(parent)
    , m_size(size)
{
    setFixedSize(size, size);
    m_turn.setStartValue(0.0);
    m_turn.setEndValue(360.0);
    m_turn.setDuration(turnMs);
    m_turn.setLoopCount(-1);
    connect(&m_turn, &QVariantAnimation::valueChanged, this, [this] { update(); });
}

QSize BusyIndicator::sizeHint() const
{
    return {m_size, m_size};
}

void BusyIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal pen = std::max(1.5, m_size / 8.0);
    const QRectF box = QRectF(rect()).adjusted(pen / 2, pen / 2, -pen / 2, -pen / 2);
    painter.setPen(QPen(SystemColours::tertiaryLabel(palette()), pen));
    painter.drawEllipse(box);
    painter.setPen(
        QPen(SystemColours::secondaryLabel(palette()), pen, Qt::SolidLine, Qt::RoundCap));
    const qreal angle = m_turn.currentValue().toReal();
    // Qt counts sixteenths of a degree, counter-clockwise from three o'clock.
    painter.drawArc(box, int((90 - angle) * 16), -arcDegrees * 16);
}

void BusyIndicator::showEvent(QShowEvent* event)
{
    m_turn.start();
    QWidget::showEvent(event);
}

void BusyIndicator::hideEvent(QHideEvent* event)
{
    m_turn.stop();
    QWidget::hideEvent(event);
}
