#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ovrin::helper {

// A request target split into its path and its query arguments. Only %XX escapes are decoded:
// a "+" stays a plus sign (an export path may contain one).
class Target {
public:
    // Nothing for a target that does not start with "/" or holds a broken escape.
    static std::optional<Target> parse(std::string_view raw);
    static std::optional<std::string> decode(std::string_view text);

    const std::string& path() const { return m_path; }
    // The first value of the argument, if present.
    std::optional<std::string> query(std::string_view name) const;

private:
    std::string m_path;
    std::vector<std::pair<std::string, std::string>> m_arguments;
};

} // namespace ovrin::helper
