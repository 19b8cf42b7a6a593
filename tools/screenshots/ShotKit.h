#pragma once

#include <QPalette>
#include <QString>

#include <functional>

// What the screenshot programs share: their output folder, the light and
// dark palettes they draw in over a plain desktop, their report, and
// waiting with the event loop running.
namespace ShotKit {

// After the QApplication: the Fusion style, and the output folder made
// (argv[1], else build/screenshots). Empty when it cannot be made.
QString prepare(int argc, char** argv);
// For the light and then the dark palette: applies it, with a plain desktop
// of a matching tone behind the windows, and calls `pictures` with "light"
// or "dark".
void eachTheme(const std::function<void(const QString& theme)>& pictures);

// Prints "wrote PATH" or "FAILED PATH" for each picture.
class Report {
public:
    void operator()(bool ok, const QString& path);
    // 0 when every picture was written.
    int exitCode() const { return m_failed == 0 ? 0 : 1; }

private:
    int m_failed = 0;
};

// A dark desktop palette, close to the platform's dark appearance.
QPalette darkPalette();
// Runs the event loop for `ms`.
void wait(int ms);
// Runs the event loop until `done`; false when `ms` ran out first.
bool waitFor(const std::function<bool()>& done, int ms = 5000);

} // namespace ShotKit
