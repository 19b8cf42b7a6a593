#pragma once

#include <QPoint>
#include <Qt>

class QWidget;

// Mouse presses through the platform's input path (the window system's way
// in, where Qt itself recognises double clicks) with timestamps of our own,
// so sequences are exact and need no real waiting.
namespace Presses {

// Presses and releases `button` at `at` in `target`, `afterMs` after the
// previous press made here.
void press(QWidget* target, QPoint at, int afterMs, Qt::MouseButton button = Qt::LeftButton);
// Moves the clock on, so that the next press starts a new sequence.
void later(int ms);
// Well within the double-click interval.
int quick();
// Two quick presses in the middle of `target`, as a person double-clicks.
void doubleClick(QWidget* target);

} // namespace Presses
