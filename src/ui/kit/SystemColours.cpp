#include "ui/kit/SystemColours.h"

#include <algorithm>

namespace SystemColours {

bool isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

QColor label(const QPalette& palette)
{
    return faded(palette.color(QPalette::WindowText), 0.85);
}

QColor secondaryLabel(const QPalette& palette)
{
    return faded(palette.color(QPalette::WindowText), isDark(palette) ? 0.55 : 0.5);
}

QColor tertiaryLabel(const QPalette& palette)
{
    return faded(palette.color(QPalette::WindowText), isDark(palette) ? 0.25 : 0.26);
}

QColor accent(const QPalette& palette)
{
    return palette.color(QPalette::Highlight);
}

QColor green(const QPalette& palette)
{
    return isDark(palette) ? QColor(48, 209, 88) : QColor(52, 199, 89);
}

QColor orange(const QPalette& palette)
{
    return isDark(palette) ? QColor(255, 159, 10) : QColor(255, 149, 0);
}

QColor red(const QPalette& palette)
{
    return isDark(palette) ? QColor(255, 69, 58) : QColor(255, 59, 48);
}

QColor faded(QColor colour, qreal opacity)
{
    colour.setAlphaF(float(std::clamp(colour.alphaF() * opacity, 0.0, 1.0)));
    return colour;
}

QColor mix(const QColor& from, const QColor& to, qreal t)
{
    t = std::clamp(t, 0.0, 1.0);
    // A transparent end takes the other end's hue, so fading in does not pass through black.
    const QColor a = from.alpha() == 0 ? faded(to, 0) : from;
    const QColor b = to.alpha() == 0 ? faded(from, 0) : to;
    auto lerp = [t](float x, float y) { return x + (y - x) * float(t); };
    return QColor::fromRgbF(lerp(a.redF(), b.redF()), lerp(a.greenF(), b.greenF()),
                            lerp(a.blueF(), b.blueF()), lerp(a.alphaF(), b.alphaF()));
}

} // namespace SystemColours
