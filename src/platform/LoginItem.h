#pragma once

#include <QString>

#include <optional>

// The application's own per-user autostart item. Main thread; each call is a
// quick file operation and returns at once.
class LoginItem {
public:
    virtual ~LoginItem() = default;

    // True exactly when the item will start the application at login.
    virtual bool isEnabled() const = 0;
    // Nothing on success, otherwise the reason, for the system log.
    virtual std::optional<QString> registerItem() = 0;
    virtual std::optional<QString> unregisterItem() = 0;
};
