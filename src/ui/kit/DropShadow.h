#pragma once

#include <QColor>
#include <QImage>

// The soft shadow cast by the opaque parts of `source`: its alpha blurred
// (Gaussian, standard deviation radius / 2 in logical pixels, approximated by
// three box passes) and filled with `colour`, alpha included. Same size and
// device pixel ratio as `source`, ARGB32 premultiplied; nothing is offset.
QImage dropShadow(const QImage& source, const QColor& colour, qreal radius);
