#include "signin/ProminentButton.h"

#include "ui/kit/SystemColours.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

constexpr int horizontalPadding = 14;
constexpr int leastHeight = 28;
constexpr qreal radius = 6;

} // namespace

ProminentButton::ProminentButton(const QString& title, const QString& busyTitle, QWidget* parent)
    : QPushButton(title, parent)
    , m_title(title)
    , m_busyTitle(busyTitle)
{
    setAutoDefault(false);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ProminentButton::setBusy(bool busy)
{
    m_busy = busy;
    setText(busy ? m_busyTitle : m_title);
}

QSize ProminentButton::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    const int text =
        std::max(metrics.horizontalAdvance(m_title), metrics.horizontalAdvance(m_busyTitle));
    return {text + 2 * horizontalPadding, std::max(leastHeight, metrics.height() + 10)};
}

QSize ProminentButton::minimumSizeHint() const
{
    return sizeHint();
}

void ProminentButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& p = palette();
    QColor fill = SystemColours::accent(p);
    QColor ink = p.color(QPalette::HighlightedText);
    if (!isEnabled()) {
        fill = SystemColours::faded(p.color(QPalette::WindowText), 0.12);
        ink = SystemColours::faded(p.color(QPalette::WindowText), 0.5);
    } else if (isDown()) {
        fill = fill.darker(118);
    }
    const QRectF frame = QRectF(rect()).adjusted(1, 1, -1, -1);
    if (hasFocus() && isEnabled()) {
        painter.setPen(QPen(SystemColours::faded(SystemColours::accent(p), 0.5), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(frame, radius + 1, radius + 1);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(frame.adjusted(1, 1, -1, -1), radius, radius);
    painter.setPen(ink);
    painter.drawText(rect(), Qt::AlignCenter, text());
}
