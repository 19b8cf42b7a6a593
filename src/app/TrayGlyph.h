#pragma once

#include <QByteArray>
#include <QColor>
#include <QIcon>
#include <QImage>
#include <QList>

// The tray glyph cut from the vector resource "menubar.svg": the SVG is laid
// out in a 20 × 20 box and the part x 3…17, y 3.02…16.02 (from the top) is
// drawn at the given opacity in one colour, 14:13 wide to high.
//
// Panels do not recolour tray icons for us, and the panel's colour is not
// ours to read (GNOME keeps a dark top bar under a light theme, KDE a light
// panel under the same theme), so the glyph carries its own contrast: the
// shape in the ink colour, ringed by a halo in the opposite colour at full
// opacity. On a panel close to the ink the halo draws the outline; on one
// close to the halo the ink does. The dim glyph fades only the ink.
class TrayGlyph {
public:
    TrayGlyph() = delete;

    // Heights in pixels the icon carries, for the sizes panels ask for
    // (16 and 22 are usual, 32 and 48 on 2× screens).
    static const QList<int>& pixelHeights();

    // A null image when `svg` is not a readable SVG.
    static QImage render(const QByteArray& svg, int pixelHeight, qreal alpha, const QColor& ink,
                         const QColor& halo);
    // Every height of pixelHeights() in one icon; null when `svg` is unreadable.
    static QIcon icon(const QByteArray& svg, qreal alpha, const QColor& ink, const QColor& halo);
};
