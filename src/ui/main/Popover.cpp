#include "ui/main/Popover.h"

#include "ui/kit/SystemColours.h"
#include "ui/kit/TextBlock.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

#include <algorithm>

namespace {

constexpr qreal cornerRadius = 8;
constexpr int arrowHalfWidth = 9;
constexpr int screenMargin = 4;

} // namespace

Popover::Popover(QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint)
    , m_label(new TextBlock(TextBlock::Tone::Label, this))
{
    m_label->setFont(TextBlock::calloutFont(font()));
    setFocusPolicy(Qt::NoFocus);
}

QString Popover::text() const
{
    return m_label->text();
}

void Popover::setText(const QString& text)
{
    m_label->setText(text);
    setAccessibleName(text);
    if (isVisible())
        place();
}

void Popover::open(QWidget* anchor)
{
    m_anchor = anchor;
    place();
    show();
}

void Popover::place()
{
    const int textWidth = popoverWidth - 2 * padding;
    const int height = arrowHeight + padding + m_label->heightForWidth(textWidth) + padding;
    const QPoint tip =
        m_anchor ? m_anchor->mapToGlobal(QPoint(m_anchor->width() / 2, m_anchor->height()))
                 : QPoint();
    int left = tip.x() - popoverWidth / 2;
    // Within the anchor's window where it fits, then within the screen.
    if (m_anchor) {
        const QRect window = m_anchor->window()->geometry();
        left = std::clamp(left, window.left() + screenMargin,
                          std::max(window.left() + screenMargin,
                                   window.right() - screenMargin - popoverWidth + 1));
    }
    if (const QScreen* at = m_anchor ? m_anchor->screen() : screen()) {
        const QRect area = at->availableGeometry();
        left = std::clamp(
            left, area.left() + screenMargin,
            std::max(area.left() + screenMargin, area.right() - screenMargin - popoverWidth + 1));
    }
    const int arrowMin = int(cornerRadius) + arrowHalfWidth;
    m_arrowX = std::clamp(tip.x() - left, arrowMin, popoverWidth - arrowMin);
    setGeometry(left, tip.y(), popoverWidth, height);
    m_label->setGeometry(padding, arrowHeight + padding, textWidth,
                         m_label->heightForWidth(textWidth));
    update();
}

QPainterPath Popover::shape(qreal inset) const
{
    QPainterPath body;
    body.addRoundedRect(QRectF(0, arrowHeight, width(), height() - arrowHeight)
                            .adjusted(inset, inset, -inset, -inset),
                        cornerRadius, cornerRadius);
    QPainterPath arrow;
    arrow.moveTo(m_arrowX - arrowHalfWidth - inset, arrowHeight + inset + 1);
    arrow.lineTo(m_arrowX + 0.5, inset);
    arrow.lineTo(m_arrowX + arrowHalfWidth + 1 + inset, arrowHeight + inset + 1);
    arrow.closeSubpath();
    return body.united(arrow).simplified();
}

void Popover::resizeEvent(QResizeEvent* event)
{
    // A shaped window rather than a translucent one: it needs no compositor.
    setMask(QRegion(shape(0).toFillPolygon().toPolygon()));
    QWidget::resizeEvent(event);
}

void Popover::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool dark = SystemColours::isDark(palette());
    const QColor window = palette().color(QPalette::Window);
    painter.fillRect(rect(), dark ? window.lighter(125) : window.lighter(106));
    painter.setPen(
        QPen(SystemColours::faded(SystemColours::label(palette()), dark ? 0.3 : 0.2), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape(0.5));
}

void Popover::mousePressEvent(QMouseEvent* event)
{
    if (!rect().contains(event->position().toPoint()) && m_anchor &&
        m_anchor->rect().contains(m_anchor->mapFromGlobal(event->globalPosition().toPoint())))
        setAttribute(Qt::WA_NoMouseReplay);
    QWidget::mousePressEvent(event);
}

void Popover::showEvent(QShowEvent* event)
{
    setAttribute(Qt::WA_NoMouseReplay, false);
    QWidget::showEvent(event);
}

void Popover::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    Q_EMIT closed();
}

void Popover::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        m_label->setFont(TextBlock::calloutFont(font()));
    QWidget::changeEvent(event);
}
