#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace ovrin::helper {

// The center's time in whole seconds since 1970-01-01 UTC. Tests move it forward without
// restarting anything: the offset is OVRIN_SIM_CLOCK_OFFSET plus the number held in the
// center folder's "clock-offset" file, both read at every call. The file moves the clock of
// every helper that shares the center.
class CenterClock {
public:
    static constexpr const char* EnvironmentVariable = "OVRIN_SIM_CLOCK_OFFSET";
    static constexpr std::int64_t MaxOffset = 100LL * 366 * 86'400;

    using Wall = std::function<std::int64_t()>;

    // `wall` is the system clock when empty.
    explicit CenterClock(std::filesystem::path offsetFile, Wall wall = {});

    // Nothing when an offset is not a whole number of seconds within ±MaxOffset; `error` then
    // says which one, in Russian.
    std::optional<std::int64_t> now(std::string& error) const;

    // "+3600", "-5", "120\n": optional sign, digits, optional surrounding blanks.
    static std::optional<std::int64_t> parseOffset(std::string_view text);

private:
    std::filesystem::path m_offsetFile;
    Wall m_wall;
};

} // namespace ovrin::helper
