#pragma once

#include <QString>

// How this computer introduces itself to the center, the same everywhere
// (e-mail sign-in, link sign-in, pairing). Callable from any thread; each
// call returns at once.
class DeviceIdentity {
public:
    virtual ~DeviceIdentity() = default;

    // The computer's user-visible name; never empty ("Mac" when it has none).
    virtual QString name() const = 0;
    // The platform's label. "macOS" wherever the center is asked: it relies
    // on it.
    virtual QString platform() const = 0;
};
