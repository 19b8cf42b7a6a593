#pragma once

#include <QString>

// The system log. Callable from any thread; returns at once.
class SystemLog {
public:
    virtual ~SystemLog() = default;
    virtual void write(const QString& line) = 0;
};
