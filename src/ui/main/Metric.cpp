#include "ui/main/Metric.h"

#include "link/Rate.h"
#include "ui/kit/SystemColours.h"

#include <QEvent>
#include <QFontDatabase>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace {

constexpr int titlePixels = 9;
constexpr int valuePixels = 13;
constexpr int lineGap = 2;

} // namespace

Metric::Metric(const QString& title, int width, const QString& hint, QWidget* parent)
    : QWidget(parent)
    , m_title(title)
    , m_width(width)
{
    setToolTip(hint);
    setAccessibleName(title);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFixedWidth(width);
    setValue(placeholder());
}

void Metric::setValue(const QString& value)
{
    if (value == m_value)
        return;
    m_value = value;
    setAccessibleDescription(value);
    update();
}

QString Metric::placeholder()
{
    return u"—"_s;
}

QString Metric::latencyText(qint64 ms)
{
    return ms < 1 ? placeholder() : QString::number(ms);
}

QString Metric::rateText(qint64 bps)
{
    return rate(bps);
}

QString Metric::peakText(qint64 bps)
{
    return bps < 1 ? placeholder() : rate(bps);
}

QFont Metric::titleFont() const
{
    QFont result = font();
    result.setPixelSize(titlePixels);
    return result;
}

QFont Metric::valueFont() const
{
    QFont result = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    result.setPixelSize(valuePixels);
    return result;
}

QSize Metric::sizeHint() const
{
    return {m_width,
            QFontMetrics(titleFont()).height() + lineGap + QFontMetrics(valueFont()).height()};
}

QSize Metric::minimumSizeHint() const
{
    return sizeHint();
}

void Metric::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QFontMetrics titleMetrics(titleFont());
    const QFontMetrics valueMetrics(valueFont());

    painter.setFont(titleFont());
    painter.setPen(SystemColours::tertiaryLabel(palette()));
    painter.drawText(QRect(0, 0, width(), titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     titleMetrics.elidedText(m_title, Qt::ElideRight, width()));

    painter.setFont(valueFont());
    painter.setPen(SystemColours::label(palette()));
    painter.drawText(QRect(0, titleMetrics.height() + lineGap, width(), valueMetrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     valueMetrics.elidedText(m_value, Qt::ElideRight, width()));
}

void Metric::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        updateGeometry();
    QWidget::changeEvent(event);
}
