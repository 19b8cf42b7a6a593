#include "ui/kit/TextStyle.h"

#include <algorithm>
#include <cmath>

QFont TextStyle::scaled(const QFont& body, qreal points, QFont::Weight weight)
{
    QFont font = body;
    const qreal factor = points / 13.0;
    if (body.pixelSize() > 0)
        font.setPixelSize(std::max(1, int(std::lround(body.pixelSize() * factor))));
    else
        font.setPointSizeF(body.pointSizeF() * factor);
    font.setWeight(weight);
    return font;
}
