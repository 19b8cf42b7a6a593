#pragma once

#include <QPalette>

#include <functional>

// What the screenshot programs share: the dark palette they draw with (the
// light one is the style's own) and waiting with the event loop running.
namespace ShotKit {

// A dark desktop palette, close to the platform's dark appearance.
QPalette darkPalette();
// Runs the event loop for `ms`.
void wait(int ms);
// Runs the event loop until `done`; false when `ms` ran out first.
bool waitFor(const std::function<bool()>& done, int ms = 5000);

} // namespace ShotKit
