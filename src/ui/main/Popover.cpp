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
    , label_(new TextBlock(TextBlock::Tone::Label, this))
{
    label_->setFont(TextBlock::calloutFont(font()));
    setFocusPolicy(Qt::NoFocus);
}

QString Popover::text() const
{
    return label_->text();
}

void Popover::setText(const QString& text)
{
    label_->setText(text);
    setAccessibleName(text);
    if (isVisible())
        place();
}

void Popover::open(QWidget* anchor)
{
    anchor_ = anchor;
    place();
    show();
}

void Popover::place()
{
    const int textWidth = popoverWidth - 2 * padding;
    const int height = arrowHeight + padding + label_->heightForWidth(textWidth) + padding;
    const QPoint tip =
        anchor_ ? anchor_->mapToGlobal(QPoint(anchor_->width() / 2, anchor_->height())) : QPoint();
    int left = tip.x() - popoverWidth / 2;
    // Within the anchor's window where it fits, then within the screen.
    if (anchor_) {
        const QRect window = anchor_->window()->geometry();
        left = std::clamp(left, window.left() + screenMargin,
                          std::max(window.left() + screenMargin,
                                   window.right() - screenMargin - popoverWidth + 1));
    }
    if (const QScreen* at = anchor_ ? anchor_->screen() : screen()) {
        const QRect area = at->availableGeometry();
        left = std::clamp(
            left, area.left() + screenMargin,
            std::max(area.left() + screenMargin, area.right() - screenMargin - popoverWidth + 1));
    }
    const int arrowMin = int(cornerRadius) + arrowHalfWidth;
    arrowX_ = std::clamp(tip.x() - left, arrowMin, popoverWidth - arrowMin);
    setGeometry(left, tip.y(), popoverWidth, height);
    label_->setGeometry(padding, arrowHeight + padding, textWidth,
                        label_->heightForWidth(textWidth));
    update();
}

QPainterPath Popover::shape(qreal inset) const
{
    QPainterPath body;
    body.addRoundedRect(QRectF(0, arrowHeight, width(), height() - arrowHeight)
                            .adjusted(inset, inset, -inset, -inset),
                        cornerRadius, cornerRadius);
    QPainterPath arrow;
    arrow.moveTo(arrowX_ - arrowHalfWidth - inset, arrowHeight + inset + 1);
    arrow.lineTo(arrowX_ + 0.5, inset);
    arrow.lineTo(arrowX_ + arrowHalfWidth + 1 + inset, arrowHeight + inset + 1);
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
    if (!rect().contains(event->position().toPoint()) && anchor_ &&
        anchor_->rect().contains(anchor_->mapFromGlobal(event->globalPosition().toPoint())))
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
        label_->setFont(TextBlock::calloutFont(font()));
    QWidget::changeEvent(event);
}
