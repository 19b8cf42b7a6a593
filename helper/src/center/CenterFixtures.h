#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace ovrin::helper {

// What a fresh center holds and offers: the demo accounts a new document is seeded with, the
// plans on offer and the trial an address gets at its first sign-in.
struct CenterFixtures {
    static constexpr std::int64_t TrialDays = 7;
    static constexpr std::int64_t TrialDevices = 3;
    // Every device place taken, so that signing in reaches the device replacement at once.
    static constexpr const char* FullAccount = "full@ovrin.test";
    // A subscription that has ended.
    static constexpr const char* ExpiredAccount = "expired@ovrin.test";

    // Replaces `document` with an empty center holding the demo accounts.
    static void seed(nlohmann::json& document, std::int64_t now);
    // The plans on offer, as the cabinet lists them; prices in minor units.
    static nlohmann::ordered_json plans();
    // The account record of a new address: the trial, from `now`.
    static nlohmann::json trialAccount(const std::string& email, std::int64_t now);
};

} // namespace ovrin::helper
