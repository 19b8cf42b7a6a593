#include "ui/main/WarningButton.h"

#include "ui/kit/Symbols.h"
#include "ui/kit/SystemColours.h"

#include <QPainter>

using namespace Qt::StringLiterals;

WarningButton::WarningButton(QWidget* parent)
    : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(side, side);
}

QSize WarningButton::sizeHint() const
{
    return {side, side};
}

QSize WarningButton::minimumSizeHint() const
{
    return sizeHint();
}

void WarningButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (isDown())
        painter.setOpacity(0.6);
    const QPixmap symbol =
        Symbols::pixmap(u"exclamationmark.triangle.fill"_s, SystemColours::orange(palette()),
                        symbolSize, devicePixelRatioF());
    painter.drawPixmap(QPointF((side - symbolSize) / 2.0, (side - symbolSize) / 2.0), symbol);
}
