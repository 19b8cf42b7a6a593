#pragma once

#include <QDateTime>

// The time as Core and the views read it. Production passes Clock::system();
// tests pass a clock they move. Every method may be called from any thread.
class Clock {
public:
    virtual ~Clock() = default;

    // The local date and time: what the user is shown and what names a file.
    virtual QDateTime now() const = 0;
    // Milliseconds on a monotonic scale, for deadlines: setting the wall
    // clock does not move it. Only differences between readings mean
    // anything.
    virtual qint64 monotonicMs() const = 0;

    // The machine's clocks. Lives as long as the program.
    static const Clock& system();
};
