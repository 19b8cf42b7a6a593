#include "center/Center.h"

#include "center/CenterFixtures.h"
#include "center/CenterRandom.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace ovrin::helper {

namespace {

using Json = nlohmann::json;
using Ordered = nlohmann::ordered_json;

// Expired records that are still answered as such ("expired") before they are forgotten.
constexpr std::int64_t ForgetAfter = 3600;

Json* accountByEmail(Json& document, const std::string& email, std::string& id)
{
    for (auto& [key, record] : document["accounts"].items()) {
        if (record.at("email") == email) {
            id = key;
            return &record;
        }
    }
    return nullptr;
}

// Matches the code or the link token of a challenge. A wrong one costs a try; the last try,
// like the end of its time, ends the challenge. Sets `email` on success.
std::optional<CenterAnswer> redeem(Json& document, const std::string& id,
                                   const std::optional<std::string>& code,
                                   const std::optional<std::string>& linkToken, std::int64_t now,
                                   std::string& email)
{
    Json& challenges = document["challenges"];
    const auto it = challenges.find(id);
    if (it == challenges.end())
        return CenterAnswer::failure(400, "invalid_code");
    if (Center::expired(*it, now)) {
        challenges.erase(it);
        return CenterAnswer::failure(400, "invalid_code");
    }
    const bool match = code ? CenterRandom::same(*code, it->at("code").get<std::string>())
                            : CenterRandom::same(linkToken.value_or(std::string()),
                                                 it->at("link_token").get<std::string>());
    if (!match) {
        const std::int64_t left = it->at("tries_left").get<std::int64_t>() - 1;
        if (left <= 0)
            challenges.erase(it);
        else
            (*it)["tries_left"] = left;
        return CenterAnswer::failure(400, "invalid_code");
    }
    email = it->at("email").get<std::string>();
    return std::nullopt;
}

} // namespace

Center::Center(std::filesystem::path folder, bool mailUnavailable, CenterClock::Wall wall)
    : m_store(std::move(folder), std::move(wall))
    , m_mailer(m_store.outbox())
    , m_mailUnavailable(mailUnavailable)
{}

bool Center::expired(const Json& record, std::int64_t now)
{
    return record.at("expires_at").get<std::int64_t>() <= now;
}

void Center::prune(Json& document, std::int64_t now)
{
    for (const char* collection : {"challenges", "pair_requests"}) {
        Json& records = document[collection];
        for (auto it = records.begin(); it != records.end();)
            it = expired(*it, now) ? records.erase(it) : std::next(it);
    }
    Json& codes = document["pair_codes"];
    for (auto it = codes.begin(); it != codes.end();)
        it = it->at("expires_at").get<std::int64_t>() + ForgetAfter <= now ? codes.erase(it)
                                                                           : std::next(it);
    Json& requests = document["code_requests"];
    for (auto it = requests.begin(); it != requests.end();) {
        Json& times = *it;
        times.erase(std::remove_if(times.begin(), times.end(),
                                   [now](const Json& t) {
                                       return t.get<std::int64_t>() <= now - RateWindowSeconds;
                                   }),
                    times.end());
        it = times.empty() ? requests.erase(it) : std::next(it);
    }
}

CenterAnswer Center::transact(const Work& work) const
{
    CenterAnswer answer;
    const std::optional<std::string> failure =
        m_store.update([&](Json& document, std::int64_t now) {
            if (document.is_null())
                CenterFixtures::seed(document, now);
            prune(document, now);
            answer = work(document, now);
        });
    if (failure)
        return CenterAnswer::failure(503, *failure);
    return answer;
}

CenterAnswer Center::transactAs(const Identity& who, const Work& work) const
{
    return transact([&](Json& document, std::int64_t now) {
        if (!holds(document, who))
            return CenterAnswer::notSignedIn(true);
        return work(document, now);
    });
}

bool Center::holds(const Json& document, const Identity& who)
{
    const Json& devices = document.at("devices");
    const auto it = devices.find(who.device);
    return it != devices.end() && it->at("account") == who.account &&
           document.at("accounts").contains(who.account);
}

Ordered Center::devicesOf(const Json& document, const std::string& account, bool detailed,
                          const std::string& current)
{
    std::vector<std::pair<std::int64_t, std::string>> order;
    for (const auto& [id, device] : document.at("devices").items())
        if (device.at("account") == account)
            order.emplace_back(device.at("created_at").get<std::int64_t>(), id);
    std::sort(order.begin(), order.end());
    Ordered list = Ordered::array();
    for (const auto& [created, id] : order) {
        const Json& device = document.at("devices").at(id);
        Ordered entry = {{"id", id},
                         {"name", device.at("name").get<std::string>()},
                         {"platform", device.at("platform").get<std::string>()}};
        if (detailed) {
            entry["last_seen_at"] = device.at("last_seen_at").get<std::int64_t>();
            entry["current"] = id == current;
        }
        list.push_back(std::move(entry));
    }
    return list;
}

std::optional<CenterAnswer> Center::full(const Json& document, const std::string& account)
{
    const Ordered devices = devicesOf(document, account, false, {});
    const std::int64_t limit =
        document.at("accounts").at(account).at("devices_limit").get<std::int64_t>();
    if (std::int64_t(devices.size()) < limit)
        return std::nullopt;
    CenterAnswer answer = CenterAnswer::failure(409, "device_limit");
    answer.body["devices"] = devices;
    return answer;
}

std::string Center::addDevice(Json& document, const std::string& account, const DeviceIntro& device,
                              std::int64_t now)
{
    const std::string id = CenterRandom::id();
    document["devices"][id] = {{"account", account},
                               {"name", device.name},
                               {"platform", device.platform},
                               {"created_at", now},
                               {"last_seen_at", now}};
    return id;
}

CenterAnswer Center::requestCode(const std::string& email,
                                 const std::optional<Identity>& confirming)
{
    if (m_mailUnavailable)
        return CenterAnswer::failure(503, "mail_unavailable");
    return transact([&](Json& document, std::int64_t now) {
        if (confirming) {
            if (!holds(document, *confirming))
                return CenterAnswer::notSignedIn(true);
            if (document["accounts"][confirming->account].at("email") != email)
                return CenterAnswer::failure(
                    409, "Это не почта аккаунта, в который выполнен вход на этом компьютере.");
        }
        Json& sent = document["code_requests"][email];
        if (!sent.is_array())
            sent = Json::array();
        if (sent.size() >= RateLimit)
            return CenterAnswer::failure(429, "rate_limited");

        const std::string id = CenterRandom::id();
        const std::string code = CenterRandom::digits(6);
        const std::string linkToken = CenterRandom::token();
        std::string error;
        const auto file =
            m_mailer.send(Mailer::codeLetter(email, code, id, linkToken, confirming.has_value(),
                                             now, ChallengeSeconds / 60),
                          error);
        if (!file) {
            CenterAnswer answer = CenterAnswer::failure(503, "mail_unavailable");
            answer.note = error;
            return answer;
        }
        document["challenges"][id] = {{"email", email},
                                      {"code", code},
                                      {"link_token", linkToken},
                                      {"created_at", now},
                                      {"expires_at", now + ChallengeSeconds},
                                      {"tries_left", ChallengeTries}};
        sent.push_back(now);
        CenterAnswer answer = CenterAnswer::ok({{"challenge_id", id}});
        answer.note = "letter " + file->filename().string();
        return answer;
    });
}

CenterAnswer Center::signIn(const Verification& verification)
{
    return transact([&](Json& document, std::int64_t now) {
        std::string email;
        if (auto refused = redeem(document, verification.challengeId, verification.code,
                                  verification.linkToken, now, email))
            return *refused;
        std::string id;
        const bool known = accountByEmail(document, email, id) != nullptr;
        Json& devices = document["devices"];
        const auto old = verification.replaceDeviceId ? devices.find(*verification.replaceDeviceId)
                                                      : devices.end();
        if (verification.replaceDeviceId && (old == devices.end() || old->at("account") != id)) {
            // The list this choice was made from is out of date: start again from a new code.
            document["challenges"].erase(verification.challengeId);
            return CenterAnswer::failure(409, "email_verification_required");
        }
        if (!known) {
            id = CenterRandom::id();
            document["accounts"][id] = CenterFixtures::trialAccount(email, now);
        }
        if (verification.replaceDeviceId) {
            devices.erase(old);
        } else if (auto limit = full(document, id)) {
            return *limit; // the challenge stays: the same code may name a device to replace
        }
        document["challenges"].erase(verification.challengeId);
        document["accounts"][id]["email_verified"] = true;
        CenterAnswer answer = CenterAnswer::ok();
        answer.signedIn = Identity{id, addDevice(document, id, verification.device, now)};
        return answer;
    });
}

CenterAnswer Center::confirmEmail(const Identity& who, const std::string& challengeId,
                                  const std::string& code)
{
    return transactAs(who, [&](Json& document, std::int64_t now) {
        std::string email;
        if (auto refused = redeem(document, challengeId, code, std::nullopt, now, email))
            return *refused;
        Json& account = document["accounts"][who.account];
        if (account.at("email") != email)
            return CenterAnswer::failure(
                409, "Это не почта аккаунта, в который выполнен вход на этом компьютере.");
        document["challenges"].erase(challengeId);
        account["email_verified"] = true;
        return CenterAnswer::ok();
    });
}

CenterAnswer Center::profile(const Identity& who, bool touch)
{
    return transactAs(who, [&](Json& document, std::int64_t now) {
        if (touch)
            document["devices"][who.device]["last_seen_at"] = now;
        const Json& account = document["accounts"][who.account];
        return CenterAnswer::ok({{"active", account.at("ends_at").get<std::int64_t>() > now},
                                 {"plan", account.at("plan_name").get<std::string>()}});
    });
}

CenterAnswer Center::cabinet(const Identity& who)
{
    return transactAs(who, [&](Json& document, std::int64_t now) {
        document["devices"][who.device]["last_seen_at"] = now;
        const Json& account = document["accounts"][who.account];
        const std::int64_t endsAt = account.at("ends_at").get<std::int64_t>();
        Ordered subscription = {{"active", endsAt > now},
                                {"plan_id", account.at("plan_id").get<std::string>()},
                                {"plan_name", account.at("plan_name").get<std::string>()},
                                {"ends_at", endsAt},
                                {"devices_limit", account.at("devices_limit").get<std::int64_t>()}};
        return CenterAnswer::ok({{"subscription", std::move(subscription)},
                                 {"devices", devicesOf(document, who.account, true, who.device)},
                                 {"plans", CenterFixtures::plans()},
                                 {"loaded_at", now}});
    });
}

CenterAnswer Center::signOut(const Identity& who)
{
    return transact([&](Json& document, std::int64_t) {
        if (holds(document, who))
            document["devices"].erase(who.device);
        return CenterAnswer::ok();
    });
}

} // namespace ovrin::helper
