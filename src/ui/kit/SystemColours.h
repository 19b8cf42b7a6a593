#pragma once

#include <QColor>
#include <QPalette>

// The label and accent colours of the main window, taken from the widget's
// palette so that they follow a light or a dark theme. The label levels are
// the palette's text colour at decreasing opacity; green and orange have a
// light and a dark variant, and so does red (destructive commands).
namespace SystemColours {

bool isDark(const QPalette& palette);

QColor label(const QPalette& palette);
QColor secondaryLabel(const QPalette& palette);
QColor tertiaryLabel(const QPalette& palette);
QColor accent(const QPalette& palette);
QColor green(const QPalette& palette);
QColor orange(const QPalette& palette);
QColor red(const QPalette& palette);

// `colour` with its alpha multiplied by `opacity`.
QColor faded(QColor colour, qreal opacity);

// The straight-alpha blend of `from` and `to` at `t` (0 gives `from`).
QColor mix(const QColor& from, const QColor& to, qreal t);

} // namespace SystemColours
