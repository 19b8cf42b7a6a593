#include "signin/LinkButton.h"

#include "ui/kit/SystemColours.h"

#include <QPainter>

namespace {

constexpr int padding = 2;

} // namespace

LinkButton::LinkButton(const QString& title, QWidget* parent)
    : QAbstractButton(parent)
{
    setText(title);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize LinkButton::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    return {metrics.horizontalAdvance(text()) + 2 * padding, metrics.height() + 2 * padding};
}

QSize LinkButton::minimumSizeHint() const
{
    return sizeHint();
}

void LinkButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QColor ink =
        isEnabled() ? SystemColours::accent(palette()) : SystemColours::tertiaryLabel(palette());
    if (isDown())
        ink = SystemColours::faded(ink, 0.6);
    QFont f = font();
    f.setUnderline(isEnabled() && (m_hovered || hasFocus()));
    painter.setFont(f);
    painter.setPen(ink);
    painter.drawText(rect(), Qt::AlignCenter, text());
}

void LinkButton::enterEvent(QEnterEvent* event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void LinkButton::leaveEvent(QEvent* event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}
