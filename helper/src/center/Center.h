#pragma once

#include "center/CenterAnswer.h"
#include "center/CenterStore.h"
#include "center/Mailer.h"
#include "common/Identity.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace ovrin::helper {

// How a device introduces itself: the computer's name and its platform.
struct DeviceIntro {
    std::string name;
    std::string platform;
};

// The simulated account service: accounts with their subscription and devices, e-mail
// challenges and letters, the cabinet. Every call is one transaction on the shared document,
// so helpers on other HOMEs see its effect at once. Times are the center clock's seconds.
class Center {
public:
    static constexpr std::int64_t ChallengeSeconds = 15 * 60;
    static constexpr int ChallengeTries = 5;
    static constexpr std::int64_t RateWindowSeconds = 10 * 60;
    static constexpr std::size_t RateLimit = 5;
    static constexpr std::int64_t Day = 86'400;

    using Work = std::function<CenterAnswer(nlohmann::json& document, std::int64_t now)>;

    // `mailUnavailable`: every code request fails as if mail could not be sent.
    Center(std::filesystem::path folder, bool mailUnavailable, CenterClock::Wall wall = {});

    const CenterStore& store() const { return m_store; }

    // Runs `work` under the lock on the seeded document, expired records removed first. A store
    // that cannot be read or written answers 500 and nothing is saved.
    CenterAnswer transact(const Work& work) const;
    // The same for a signed-in device's request: the not-signed-in answer, and nothing
    // done, unless `who` still holds its place.
    CenterAnswer transactAs(const Identity& who, const Work& work) const;

    // Sends a 6-digit code and a sign-in link to `email`. With `confirming`, the address must
    // be the e-mail of that signed-in account and the letter asks to confirm it.
    CenterAnswer requestCode(const std::string& email, const std::optional<Identity>& confirming);

    struct Verification {
        std::string challengeId;
        std::optional<std::string> code;      // either the code
        std::optional<std::string> linkToken; // or the link token
        DeviceIntro device;
        std::optional<std::string> replaceDeviceId;
    };
    CenterAnswer signIn(const Verification& verification);
    CenterAnswer confirmEmail(const Identity& who, const std::string& challengeId,
                              const std::string& code);

    // {"active", "plan"} of the signed-in account; `touch` also records the device as seen.
    CenterAnswer profile(const Identity& who, bool touch);
    CenterAnswer cabinet(const Identity& who);
    // Frees the device's place.
    CenterAnswer signOut(const Identity& who);

    // Building blocks for pairing, on the document inside a transaction.
    static bool holds(const nlohmann::json& document, const Identity& who);
    // The 409 "device_limit" answer with the account's devices when every place is taken.
    static std::optional<CenterAnswer> full(const nlohmann::json& document,
                                            const std::string& account);
    static std::string addDevice(nlohmann::json& document, const std::string& account,
                                 const DeviceIntro& device, std::int64_t now);
    static bool expired(const nlohmann::json& record, std::int64_t now);

private:
    static void prune(nlohmann::json& document, std::int64_t now);
    static nlohmann::ordered_json devicesOf(const nlohmann::json& document,
                                            const std::string& account, bool detailed,
                                            const std::string& current);

    CenterStore m_store;
    Mailer m_mailer;
    bool m_mailUnavailable;
};

} // namespace ovrin::helper
