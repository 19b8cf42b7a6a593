#pragma once

#include <QString>

// User-perceived characters, not UTF-16 units: "é" written as e and a
// combining accent counts once, and so does an emoji. Code fields compare
// their length with this.
qsizetype graphemeCount(const QString& text);
