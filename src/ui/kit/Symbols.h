#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

// Our own small symbol set, compiled in from resources/symbols (one SVG file
// per name), looked up by name and tinted by the caller. The names:
//   "power"                          the power button's glyph
//   "exclamationmark.triangle.fill"  the parallel-VPN warning
//   "doc.text"                       the logs submenu
//   "square.and.arrow.up"            log export
//   "trash"                          log clearing
//   "cloud.fog.fill", "cloud.fog"    the tray's fallback glyph, connected / not
// Every symbol is drawn on a 20 × 20 grid; it is rendered at the requested
// size in device pixels, so it stays sharp at any device pixel ratio.
// Main thread only (pixmaps are cached in QPixmapCache).
namespace Symbols {

QStringList names();
bool exists(const QString& name);

// `name` filled with `colour` (its alpha included) in a square of `size`
// logical pixels at `devicePixelRatio`. A null pixmap for an unknown name.
QPixmap pixmap(const QString& name, const QColor& colour, int size, qreal devicePixelRatio);

// The same symbol at 1x and 2x, for menus and buttons. A null icon for an unknown name.
QIcon icon(const QString& name, const QColor& colour, int size);

} // namespace Symbols
