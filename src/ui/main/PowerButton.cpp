#include "ui/main/PowerButton.h"

#include "ui/kit/DropShadow.h"
#include "ui/kit/HoverAnimation.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/SystemColours.h"

#include <QConicalGradient>
#include <QEnterEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace Qt::StringLiterals;

namespace {

constexpr qreal ringRadius = PowerButton::ringSize / 2.0;
constexpr qreal lineWidth = 2;
constexpr qreal discRadius = 32;
constexpr int symbolSize = 28;
constexpr qreal hoverScale = 0.05;
constexpr qreal shadowRadius = 9;
constexpr int spinMs = 3000;
constexpr int springMs = 500;

// A damped spring (response 0.26 s, damping fraction 0.65) released from rest:
// it overshoots by about 7 % and has settled well before springMs.
qreal spring(qreal progress)
{
    if (progress >= 1)
        return 1;
    constexpr qreal response = 0.26;
    constexpr qreal damping = 0.65;
    const qreal omega = 2 * std::numbers::pi / response;
    const qreal decay = damping * omega;
    const qreal ringing = omega * std::sqrt(1 - damping * damping);
    const qreal t = progress * springMs / 1000.0;
    return 1 -
           std::exp(-decay * t) * (std::cos(ringing * t) + decay / ringing * std::sin(ringing * t));
}

QEasingCurve springCurve()
{
    QEasingCurve curve;
    curve.setCustomType(&spring);
    return curve;
}

} // namespace

PowerButton::PowerButton(QWidget* parent)
    : QAbstractButton(parent)
    , m_hover(new HoverAnimation(this, springCurve(), springMs))
{
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setToolTip(toolTipFor(look()));
    setAccessibleName(toolTipFor(look()));

    m_spin.setStartValue(0.0);
    m_spin.setEndValue(360.0);
    m_spin.setDuration(spinMs);
    m_spin.setLoopCount(-1);
    m_spin.setEasingCurve(QEasingCurve::Linear);
    connect(&m_spin, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_angle = value.toReal();
        update();
    });
}

void PowerButton::setState(bool on, bool verified, bool stalled, bool busy)
{
    if (on == m_on && verified == m_verified && stalled == m_stalled && busy == m_busy)
        return;
    const bool wasChecking = isChecking();
    m_on = on;
    m_verified = verified;
    m_stalled = stalled;
    m_busy = busy;

    const bool checking = isChecking();
    setEnabled(!busy && !checking);
    setToolTip(toolTipFor(look()));
    setAccessibleName(toolTipFor(look()));
    if (checking && !wasChecking)
        startSpin();
    else if (!checking && wasChecking)
        m_spin.stop();
    updateHover();
    update();
}

PowerButton::Look PowerButton::look() const
{
    if (m_stalled)
        return Look::Stalled;
    if (!m_on)
        return Look::Off;
    return m_verified ? Look::Connected : Look::Checking;
}

qreal PowerButton::faceOpacity() const
{
    return m_busy ? 0.45 : 1.0;
}

bool PowerButton::isHovered() const
{
    return m_hover->hover();
}

QColor PowerButton::tint(Look look)
{
    switch (look) {
    case Look::Stalled:
        return QColor::fromRgbF(0.85f, 0.60f, 0.15f);
    case Look::Off:
        return QColor::fromRgbF(0.62f, 0.62f, 0.62f);
    case Look::Connected:
        return QColor::fromRgbF(0.20f, 0.72f, 0.36f);
    case Look::Checking:
        break;
    }
    return QColor::fromRgbF(0.55f, 0.62f, 0.70f);
}

QString PowerButton::toolTipFor(Look look)
{
    switch (look) {
    case Look::Stalled:
        return u"Канал поднят, но трафик идёт мимо"_s;
    case Look::Off:
        return u"Подключить"_s;
    case Look::Connected:
        return u"Отключить"_s;
    case Look::Checking:
        break;
    }
    return u"Проверяю связь"_s;
}

QSize PowerButton::sizeHint() const
{
    return {ringSize + 2 * margin, ringSize + 2 * margin};
}

QSize PowerButton::minimumSizeHint() const
{
    return sizeHint();
}

void PowerButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const qreal hover = m_hover->progress();
    const bool glowing = hover > 0.001;
    if (!glowing && !m_busy) {
        paintFace(painter, 0);
        return;
    }
    // The face is dimmed or given a glow as a whole, so it is drawn into a layer first.
    const qreal ratio = devicePixelRatioF();
    QImage face((QSizeF(size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    face.setDevicePixelRatio(ratio);
    face.fill(Qt::transparent);
    {
        QPainter facePainter(&face);
        paintFace(facePainter, hover);
    }
    painter.setOpacity(faceOpacity());
    if (glowing) {
        const qreal shadowOpacity = 0.4 * std::clamp(hover, 0.0, 1.0);
        painter.drawImage(
            QPointF(0, 0),
            dropShadow(face, SystemColours::faded(tint(), shadowOpacity), shadowRadius));
    }
    painter.drawImage(QPointF(0, 0), face);
}

void PowerButton::paintFace(QPainter& painter, qreal hover) const
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QColor colour = tint();
    const qreal scale = 1 + hoverScale * hover;
    painter.translate(width() / 2.0, height() / 2.0);
    painter.scale(scale, scale);

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(SystemColours::faded(colour, 0.35), lineWidth));
    painter.drawEllipse(QPointF(0, 0), ringRadius, ringRadius);

    if (isChecking()) {
        // Brightest opposite the start angle; symmetric, so the gradient's own
        // direction does not matter, only the rotation does.
        QConicalGradient arc(QPointF(0, 0), 0);
        arc.setColorAt(0, SystemColours::faded(colour, 0.1));
        arc.setColorAt(0.5, colour);
        arc.setColorAt(1, SystemColours::faded(colour, 0.1));
        painter.save();
        painter.rotate(m_angle);
        painter.setPen(QPen(QBrush(arc), lineWidth));
        painter.drawEllipse(QPointF(0, 0), ringRadius, ringRadius);
        painter.restore();
    }

    painter.setPen(Qt::NoPen);
    painter.setBrush(SystemColours::faded(colour, 0.13 + 0.07 * std::clamp(hover, 0.0, 1.0)));
    painter.drawEllipse(QPointF(0, 0), discRadius, discRadius);

    const QPixmap symbol =
        Symbols::pixmap(u"power"_s, colour, symbolSize, devicePixelRatioF() * scale);
    painter.drawPixmap(QPointF(-symbolSize / 2.0, -symbolSize / 2.0), symbol);
}

bool PowerButton::inCircle(const QPointF& position) const
{
    const QPointF offset = position - QPointF(width() / 2.0, height() / 2.0);
    return std::hypot(offset.x(), offset.y()) <= ringRadius + lineWidth / 2;
}

bool PowerButton::hitButton(const QPoint& position) const
{
    return inCircle(QPointF(position));
}

void PowerButton::enterEvent(QEnterEvent* event)
{
    setPointerInside(inCircle(event->position()));
    QAbstractButton::enterEvent(event);
}

void PowerButton::leaveEvent(QEvent* event)
{
    setPointerInside(false);
    QAbstractButton::leaveEvent(event);
}

void PowerButton::mouseMoveEvent(QMouseEvent* event)
{
    setPointerInside(inCircle(event->position()));
    QAbstractButton::mouseMoveEvent(event);
}

void PowerButton::showEvent(QShowEvent* event)
{
    if (isChecking())
        startSpin();
    QAbstractButton::showEvent(event);
}

void PowerButton::hideEvent(QHideEvent* event)
{
    m_spin.stop();
    QAbstractButton::hideEvent(event);
}

void PowerButton::setPointerInside(bool inside)
{
    m_pointerInside = inside;
    updateHover();
}

void PowerButton::updateHover()
{
    m_hover->setHover(m_pointerInside && !m_busy && !isChecking());
}

void PowerButton::startSpin()
{
    m_spin.stop();
    m_angle = 0;
    if (isVisible())
        m_spin.start();
    update();
}
