#pragma once

#include <string>

namespace ovrin::helper {

// A device of an account at the center; a helper keeps its own as its sign-in. Both are
// identifiers the center handed out (32 hex digits), or both empty when signed out.
struct Identity {
    std::string account;
    std::string device;

    bool empty() const { return device.empty(); }
    bool operator==(const Identity&) const = default;
};

} // namespace ovrin::helper
