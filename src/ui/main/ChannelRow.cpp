#include "ui/main/ChannelRow.h"

#include "ui/kit/HoverAnimation.h"
#include "ui/kit/SystemColours.h"

#include <QEnterEvent>
#include <QPainter>
#include <QPainterPath>

using namespace Qt::StringLiterals;

namespace {

constexpr int dotSize = 8;
constexpr int spacing = 8;
constexpr int paddingX = 8;
constexpr int paddingY = 6;
constexpr qreal cornerRadius = 6;

} // namespace

ChannelRow::ChannelRow(QWidget* parent)
    : QWidget(parent)
    , m_hover(new HoverAnimation(this, HoverAnimation::easeOut(), HoverAnimation::easeOutMs))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setToolTip(u"Двойной щелчок — подключиться"_s);
}

void ChannelRow::set(const QString& name, bool active, bool selected, bool live, bool waiting)
{
    if (name == m_name && active == m_active && selected == m_selected && live == m_live &&
        waiting == m_waiting)
        return;
    const bool resized = name != m_name;
    m_name = name;
    m_active = active;
    m_selected = selected;
    m_live = live;
    m_waiting = waiting;
    setAccessibleName(name);
    if (resized)
        updateGeometry();
    update();
}

bool ChannelRow::isHovered() const
{
    return m_hover->hover();
}

QColor ChannelRow::dotColour(const QPalette& palette, bool active, bool live, bool waiting)
{
    if (!active)
        return SystemColours::faded(SystemColours::secondaryLabel(palette), 0.25);
    if (live)
        return SystemColours::green(palette);
    if (waiting)
        return SystemColours::faded(SystemColours::secondaryLabel(palette), 0.6);
    return SystemColours::orange(palette);
}

QColor ChannelRow::dotColour() const
{
    return dotColour(palette(), m_active, m_live, m_waiting);
}

QColor ChannelRow::background() const
{
    if (m_selected)
        return SystemColours::faded(SystemColours::accent(palette()), 0.18);
    return SystemColours::faded(SystemColours::label(palette()), 0.06 * m_hover->progress());
}

int ChannelRow::heightFor(const QFontMetrics& metrics)
{
    return paddingY + std::max(dotSize, metrics.height()) + paddingY;
}

QSize ChannelRow::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    return {paddingX + dotSize + spacing + metrics.horizontalAdvance(m_name) + paddingX,
            heightFor(metrics)};
}

QSize ChannelRow::minimumSizeHint() const
{
    return {paddingX + dotSize + spacing + paddingX, sizeHint().height()};
}

void ChannelRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const QColor fill = background();
    if (fill.alpha() > 0) {
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
        painter.fillPath(shape, fill);
    }

    painter.setPen(Qt::NoPen);
    painter.setBrush(dotColour());
    painter.drawEllipse(QRect(paddingX, (height() - dotSize) / 2, dotSize, dotSize));

    const int textLeft = paddingX + dotSize + spacing;
    const QRect textRect(textLeft, 0, std::max(0, width() - textLeft - paddingX), height());
    painter.setPen(SystemColours::label(palette()));
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(m_name, Qt::ElideRight, textRect.width()));
}

void ChannelRow::enterEvent(QEnterEvent* event)
{
    m_hover->setHover(true);
    QWidget::enterEvent(event);
}

void ChannelRow::leaveEvent(QEvent* event)
{
    m_hover->setHover(false);
    QWidget::leaveEvent(event);
}

void ChannelRow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        updateGeometry();
    QWidget::changeEvent(event);
}
