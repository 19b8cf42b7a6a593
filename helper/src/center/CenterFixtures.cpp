#include "center/CenterFixtures.h"

#include "center/Center.h"
#include "center/CenterRandom.h"

#include <utility>

namespace ovrin::helper {

namespace {

using Json = nlohmann::json;
using Ordered = nlohmann::ordered_json;

constexpr std::int64_t Day = Center::Day;

struct Plan {
    const char* id;
    const char* name;
    std::int64_t priceMinor;
    const char* currency;
    std::int64_t periodDays;
    std::int64_t devicesLimit;
};

constexpr Plan Offered[] = {
    {"standard-month", "Стандарт на месяц", 29'900, "RUB", 30, 3},
    {"family-year", "Семейный на год", 299'000, "RUB", 365, 5},
    {"standard-month-eur", "Стандарт на месяц (евро)", 499, "EUR", 30, 3},
};
constexpr Plan Trial{"trial", "Пробный период",          0,
                     "RUB",   CenterFixtures::TrialDays, CenterFixtures::TrialDevices};

Json account(const std::string& email, const Plan& plan, std::int64_t endsAt, std::int64_t now)
{
    return {{"email", email},     {"email_verified", true},
            {"plan_id", plan.id}, {"plan_name", plan.name},
            {"ends_at", endsAt},  {"devices_limit", plan.devicesLimit},
            {"created_at", now}};
}

} // namespace

void CenterFixtures::seed(Json& document, std::int64_t now)
{
    document = {{"format", 1},
                {"created_at", now},
                {"accounts", Json::object()},
                {"devices", Json::object()},
                {"challenges", Json::object()},
                {"code_requests", Json::object()},
                {"pair_requests", Json::object()},
                {"pair_codes", Json::object()}};
    const std::string full = CenterRandom::id();
    document["accounts"][full] = account(FullAccount, Offered[0], now + 12 * Day, now - 200 * Day);
    const std::pair<const char*, std::int64_t> devices[] = {
        {"MacBook Air Анны", 2 * 3600}, {"iMac в офисе", 3 * Day}, {"Mac mini дома", 20 * Day}};
    std::int64_t created = now - 180 * Day;
    for (const auto& [name, idle] : devices) {
        const std::string id = Center::addDevice(document, full, {name, "macOS"}, created);
        document["devices"][id]["last_seen_at"] = now - idle;
        created += Day;
    }
    document["accounts"][CenterRandom::id()] =
        account(ExpiredAccount, Offered[0], now - 3 * Day, now - 400 * Day);
}

Ordered CenterFixtures::plans()
{
    Ordered list = Ordered::array();
    for (const Plan& plan : Offered)
        list.push_back({{"id", plan.id},
                        {"name", plan.name},
                        {"price_minor", plan.priceMinor},
                        {"currency", plan.currency},
                        {"period_days", plan.periodDays},
                        {"devices_limit", plan.devicesLimit}});
    return list;
}

Json CenterFixtures::trialAccount(const std::string& email, std::int64_t now)
{
    return account(email, Trial, now + TrialDays * Day, now);
}

} // namespace ovrin::helper
