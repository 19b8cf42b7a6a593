#include "ui/main/MoreDots.h"

#include "ui/kit/HoverAnimation.h"
#include "ui/kit/SystemColours.h"

#include <QCursor>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr int faceWidth = 22;
constexpr int faceHeight = 28;
constexpr qreal dotSize = 3;
constexpr qreal dotGap = 2;
constexpr qreal cornerRadius = 5;

} // namespace

MoreDots::MoreDots(QWidget* parent)
    : QToolButton(parent)
    , m_hover(new HoverAnimation(this, HoverAnimation::easeOut(), HoverAnimation::easeOutMs))
{
    setPopupMode(QToolButton::InstantPopup);
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(faceWidth, faceHeight);
    setToolTip(u"Настройки"_s);
    setAccessibleName(u"Настройки"_s);
}

bool MoreDots::isHovered() const
{
    return m_hover->hover();
}

QColor MoreDots::dotColour() const
{
    return SystemColours::mix(SystemColours::secondaryLabel(palette()),
                              SystemColours::label(palette()), m_hover->progress());
}

QColor MoreDots::background() const
{
    return SystemColours::faded(SystemColours::label(palette()), 0.1 * m_hover->progress());
}

QSize MoreDots::sizeHint() const
{
    return {faceWidth, faceHeight};
}

QSize MoreDots::minimumSizeHint() const
{
    return sizeHint();
}

void MoreDots::paintEvent(QPaintEvent*)
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
    const qreal stack = 3 * dotSize + 2 * dotGap;
    // Whole pixels, so the dots stay sharp at 1x.
    const QPointF origin(std::floor((width() - dotSize) / 2), std::floor((height() - stack) / 2));
    for (int i = 0; i < 3; ++i)
        painter.drawEllipse(
            QRectF(origin + QPointF(0, i * (dotSize + dotGap)), QSizeF(dotSize, dotSize)));
}

void MoreDots::enterEvent(QEnterEvent* event)
{
    m_hover->setHover(true);
    QToolButton::enterEvent(event);
}

void MoreDots::leaveEvent(QEvent* event)
{
    m_hover->setHover(false);
    QToolButton::leaveEvent(event);
}

void MoreDots::mousePressEvent(QMouseEvent* event)
{
    const QPointer<MoreDots> self(this);
    // Opens the menu and returns once it has closed.
    QToolButton::mousePressEvent(event);
    if (self)
        followPointer();
}

void MoreDots::followPointer()
{
    // The open menu holds the pointer: on X11 no leave reaches the face when
    // the pointer goes elsewhere meanwhile, and none follows when the menu
    // closes, so the face asks where the pointer is.
    m_hover->setHover(isVisible() && rect().contains(mapFromGlobal(QCursor::pos())));
}
