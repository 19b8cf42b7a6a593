#include "tunnel/Scenario.h"

#include "common/StrictObject.h"

namespace ovrin::helper {

namespace {

bool isPath(const std::string& key)
{
    return !key.empty() && key.front() == '/' && key.find('?') == std::string::npos;
}

} // namespace

std::optional<Scenario> Scenario::parse(const nlohmann::json& document, std::string& error)
{
    constexpr std::int64_t Hour = 3'600'000;
    StrictObject top(document, "scenario");
    top.allowOnly({"stall_after_ms", "message", "helper_missing", "refuse", "delay_ms",
                   "export_failure", "keychain_error", "pending_credentials", "mail_unavailable"});
    Scenario scenario;
    if (top.member("stall_after_ms") != nullptr)
        scenario.stallAfter = std::chrono::milliseconds(top.integer("stall_after_ms", 0, Hour));
    scenario.message = top.text("message", "");
    scenario.helperMissing = top.boolean("helper_missing", false);
    scenario.keychainError = top.boolean("keychain_error", false);
    scenario.pendingCredentials = top.boolean("pending_credentials", false);
    scenario.mailUnavailable = top.boolean("mail_unavailable", false);
    if (top.member("export_failure") != nullptr) {
        scenario.exportFailure = top.text("export_failure");
        if (top.ok() && scenario.exportFailure->empty())
            top.fail("'export_failure' must name a reason");
    }

    if (const nlohmann::json* refuse = top.member("refuse"); refuse != nullptr) {
        if (!refuse->is_object())
            top.fail("'refuse' must map request paths to answers");
        else
            for (const auto& [path, answer] : refuse->items()) {
                StrictObject item(answer, "refuse " + path);
                item.allowOnly({"status", "body"});
                Refusal refusal{int(item.integer("status", 200, 599)), item.text("body", "")};
                if (item.ok() && !isPath(path))
                    item.fail("keys must be request paths like \"/stop\"");
                if (!item.ok())
                    top.fail(item.error());
                scenario.refusals[path] = std::move(refusal);
            }
    }

    if (const nlohmann::json* delays = top.member("delay_ms"); delays != nullptr) {
        StrictObject map(*delays, "delay_ms");
        if (delays->is_object())
            for (const auto& [path, unused] : delays->items()) {
                scenario.delays[path] = std::chrono::milliseconds(map.integer(path, 0, Hour));
                if (map.ok() && !isPath(path))
                    map.fail("keys must be request paths like \"/status\"");
            }
        if (!map.ok())
            top.fail(map.error());
    }

    if (!top.ok()) {
        error = top.error();
        return std::nullopt;
    }
    return scenario;
}

std::optional<Scenario> Scenario::load(const std::filesystem::path& file, std::string& error)
{
    std::optional<nlohmann::json> document = StrictObject::load(file, error);
    if (!document)
        return std::nullopt;
    auto scenario = parse(*document, error);
    if (!scenario)
        error = file.string() + ": " + error;
    return scenario;
}

} // namespace ovrin::helper
