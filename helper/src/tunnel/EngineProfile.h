#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

namespace ovrin::helper {

// The netcore file: timing and seed of the tunnel simulation.
struct EngineProfile {
    using Millis = std::chrono::milliseconds;

    std::uint64_t seed = 0;
    Millis tick{500};          // metrics are sampled once per tick
    Millis latencyAfter{1000}; // first response time after connecting
    Millis verifyAfter{3000};  // traffic confirmed after connecting
    Millis install{3000};      // duration of the privileged part's installation
    Millis checkPeriod{5000};  // route check period (the check_* fields)

    static std::optional<EngineProfile> parse(const nlohmann::json& document, std::string& error);
    static std::optional<EngineProfile> load(const std::filesystem::path& file, std::string& error);
};

} // namespace ovrin::helper
