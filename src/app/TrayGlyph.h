#pragma once

#include <QColor>
#include <QImage>
#include <QString>

// The tray glyph cut from the vector resource "menubar.svg": the SVG is laid
// out in a 20 × 20 box, the part x 3…17, y 3.02…16.02 (from the top) is drawn
// into a 17 × 16 image at the given opacity, in one colour (the platform does
// not recolour tray icons for us, so the caller picks one that reads on the
// panel). The image is `devicePixelRatio` times larger in pixels.
class TrayGlyph {
public:
    TrayGlyph() = delete;

    static constexpr int height = 16;
    static constexpr int width = 17; // 14 × 16/13, rounded

    // A null image when the file is missing or not a readable SVG.
    static QImage load(const QString& svgPath, qreal alpha, const QColor& colour,
                       qreal devicePixelRatio = 1.0);
};
