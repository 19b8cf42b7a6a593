#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace ovrin::helper {

// Reads one JSON object of a configuration file strictly: known keys only, exact types,
// integers in range. The first problem is kept in error(); readers return a neutral value
// after a failure, so a caller reads every field and checks ok() once at the end.
class StrictObject {
public:
    StrictObject(const nlohmann::json& value, std::string context);

    // Reads and parses a whole JSON file; on failure `error` says why, naming the file.
    static std::optional<nlohmann::json> load(const std::filesystem::path& file,
                                              std::string& error);

    void allowOnly(std::initializer_list<std::string_view> keys);
    std::int64_t integer(std::string_view key, std::int64_t min, std::int64_t max,
                         std::optional<std::int64_t> fallback = std::nullopt);
    bool boolean(std::string_view key, std::optional<bool> fallback = std::nullopt);
    std::string text(std::string_view key, std::optional<std::string> fallback = std::nullopt);
    const nlohmann::json* member(std::string_view key);

    bool ok() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }
    void fail(const std::string& problem);

private:
    const nlohmann::json* required(std::string_view key, bool hasFallback);

    const nlohmann::json& m_value;
    std::string m_context;
    std::string m_error;
};

} // namespace ovrin::helper
