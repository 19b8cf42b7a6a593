#pragma once

#include <QFont>

// The text styles of the views, sized against the window's body text the way
// the platform's styles are against a 13-point body (title 2: 17, title 3: 15,
// headline: 13 semibold).
namespace TextStyle {

QFont scaled(const QFont& body, qreal points, QFont::Weight weight);

} // namespace TextStyle
