#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

namespace ovrin::helper {

// Forced states for tests and demonstrations, read from the file named by OVRIN_SIM_SCENARIO.
// Every member is optional; an empty scenario changes nothing.
struct Scenario {
    static constexpr const char* EnvironmentVariable = "OVRIN_SIM_SCENARIO";

    struct Refusal {
        int status = 500;
        std::string body;
    };

    // The route is lost this long after each connection (0: at once).
    std::optional<std::chrono::milliseconds> stallAfter;
    // Shown in `message` for the whole run.
    std::string message;
    // The privileged part cannot be installed: `helper` stays false, /install fails.
    bool helperMissing = false;
    // Answers that replace the normal ones, by request path (without the query).
    std::map<std::string, Refusal> refusals;
    // Extra time before answering, by request path.
    std::map<std::string, std::chrono::milliseconds> delays;
    // /export fails with this reason, writing nothing.
    std::optional<std::string> exportFailure;
    // The saved sign-in cannot be read at start: signed out until /account/keychain/retry.
    bool keychainError = false;
    // Credentials are not delivered with a sign-in: pending until /account/refresh.
    bool pendingCredentials = false;
    // The center cannot send letters: every code request answers 503 "mail_unavailable".
    bool mailUnavailable = false;

    static std::optional<Scenario> parse(const nlohmann::json& document, std::string& error);
    static std::optional<Scenario> load(const std::filesystem::path& file, std::string& error);
};

} // namespace ovrin::helper
