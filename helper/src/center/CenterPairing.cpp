#include "center/CenterPairing.h"

#include "center/CenterRandom.h"

namespace ovrin::helper {

namespace {

using Json = nlohmann::json;

const std::string WrongSecret = "Секрет заявки не подходит.";
const std::string WrongQr = "Ссылка из QR не подходит к этой заявке.";
const std::string AlreadyApproved = "Эта заявка уже подтверждена.";

std::int64_t left(const Json& record, std::int64_t now)
{
    return record.at("expires_at").get<std::int64_t>() - now;
}

std::string text(const Json& record, const char* key)
{
    return record.at(key).get<std::string>();
}

// The request `id` when its secret matches; otherwise the failure to answer.
std::optional<CenterAnswer> find(Json& document, const std::string& id, const std::string& secret,
                                 Json*& request)
{
    Json& requests = document["pair_requests"];
    const auto it = requests.find(id);
    if (it == requests.end())
        return CenterAnswer::failure(404, "not_found");
    if (!CenterRandom::same(secret, text(*it, "secret")))
        return CenterAnswer::failure(403, WrongSecret);
    request = &*it;
    return std::nullopt;
}

// The request `id` when the QR token matches and is still valid.
std::optional<CenterAnswer> findByQr(Json& document, const std::string& id,
                                     const std::string& qrToken, std::int64_t now, Json*& request)
{
    Json& requests = document["pair_requests"];
    const auto it = requests.find(id);
    if (it == requests.end())
        return CenterAnswer::failure(404, "not_found");
    if (!CenterRandom::same(qrToken, text(*it, "qr_token")))
        return CenterAnswer::failure(403, WrongQr);
    if (it->at("qr_expires_at").get<std::int64_t>() <= now)
        return CenterAnswer::failure(410, "expired");
    if (it->at("status") != "pending")
        return CenterAnswer::failure(409, AlreadyApproved);
    request = &*it;
    return std::nullopt;
}

// The code `id` of the signed-in account.
std::optional<CenterAnswer> findCode(Json& document, const Identity& who, const std::string& id,
                                     std::int64_t now, Json*& code)
{
    Json& codes = document["pair_codes"];
    const auto it = codes.find(id);
    if (it == codes.end() || it->at("account") != who.account)
        return CenterAnswer::failure(404, "not_found");
    if (left(*it, now) <= 0)
        return CenterAnswer::failure(410, "expired");
    code = &*it;
    return std::nullopt;
}

// Gives the requester a place in the account, unless every place is taken.
std::optional<CenterAnswer> grant(Json& document, Json& request, const std::string& account,
                                  std::int64_t now)
{
    if (auto limit = Center::full(document, account))
        return limit;
    const DeviceIntro device{text(request, "name"), text(request, "platform")};
    request["status"] = "approved";
    request["account"] = account;
    request["device"] = Center::addDevice(document, account, device, now);
    return std::nullopt;
}

} // namespace

CenterPairing::CenterPairing(Center& center)
    : m_center(center)
{}

CenterAnswer CenterPairing::open(const DeviceIntro& device)
{
    return m_center.transact([&](Json& document, std::int64_t now) {
        const std::string id = CenterRandom::id();
        const std::string secret = CenterRandom::token();
        const std::string qrToken = CenterRandom::token();
        document["pair_requests"][id] = {{"secret", secret},
                                         {"qr_token", qrToken},
                                         {"name", device.name},
                                         {"platform", device.platform},
                                         {"created_at", now},
                                         {"expires_at", now + RequestSeconds},
                                         {"qr_expires_at", now + QrSeconds},
                                         {"status", "pending"},
                                         {"account", ""},
                                         {"device", ""},
                                         {"tries_left", ClaimTries}};
        return CenterAnswer::ok({{"id", id},
                                 {"secret", secret},
                                 {"qr_token", qrToken},
                                 {"expires_in", RequestSeconds},
                                 {"qr_expires_in", QrSeconds}});
    });
}

CenterAnswer CenterPairing::status(const std::string& id, const std::string& secret)
{
    return m_center.transact([&](Json& document, std::int64_t now) {
        Json* request = nullptr;
        if (auto refused = find(document, id, secret, request))
            return *refused;
        const bool approved = request->at("status") == "approved";
        CenterAnswer answer = CenterAnswer::ok({{"status", approved ? "approved" : "pending"},
                                                {"expires_in", left(*request, now)},
                                                {"profile_pending", false}});
        const Identity device{text(*request, "account"), text(*request, "device")};
        if (approved && Center::holds(document, device))
            answer.signedIn = device;
        return answer;
    });
}

CenterAnswer CenterPairing::inspect(const Identity& who, const std::string& id,
                                    const std::string& qrToken)
{
    return m_center.transactAs(who, [&](Json& document, std::int64_t now) {
        Json* request = nullptr;
        if (auto refused = findByQr(document, id, qrToken, now, request))
            return *refused;
        return CenterAnswer::ok(
            {{"name", text(*request, "name")}, {"platform", text(*request, "platform")}});
    });
}

CenterAnswer CenterPairing::approve(const Identity& who, const std::string& id,
                                    const std::string& qrToken)
{
    return m_center.transactAs(who, [&](Json& document, std::int64_t now) {
        Json* request = nullptr;
        if (auto refused = findByQr(document, id, qrToken, now, request))
            return *refused;
        if (auto refused = grant(document, *request, who.account, now))
            return *refused;
        CenterAnswer answer = CenterAnswer::ok();
        answer.note = "pairing request approved by QR";
        return answer;
    });
}

CenterAnswer CenterPairing::createCode(const Identity& who)
{
    return m_center.transactAs(who, [&](Json& document, std::int64_t now) {
        Json& codes = document["pair_codes"];
        std::string code;
        // A code names one open code at a time, so that a claim is never ambiguous.
        for (bool taken = true; taken;) {
            code = CenterRandom::pairCode();
            taken = false;
            for (const auto& [unused, other] : codes.items())
                taken = taken || (text(other, "code") == code && left(other, now) > 0);
        }
        const std::string id = CenterRandom::id();
        codes[id] = {{"code", code},      {"account", who.account},
                     {"created_at", now}, {"expires_at", now + CodeSeconds},
                     {"status", "open"},  {"request", ""},
                     {"name", ""},        {"platform", ""}};
        return CenterAnswer::ok({{"id", id}, {"code", code}, {"expires_in", CodeSeconds}});
    });
}

CenterAnswer CenterPairing::codeStatus(const Identity& who, const std::string& id)
{
    return m_center.transactAs(who, [&](Json& document, std::int64_t now) {
        Json* code = nullptr;
        if (auto refused = findCode(document, who, id, now, code))
            return *refused;
        return CenterAnswer::ok({{"status", text(*code, "status")},
                                 {"request_id", text(*code, "request")},
                                 {"name", text(*code, "name")},
                                 {"platform", text(*code, "platform")},
                                 {"expires_in", left(*code, now)}});
    });
}

CenterAnswer CenterPairing::claim(const std::string& id, const std::string& secret,
                                  const std::string& typed)
{
    return m_center.transact([&](Json& document, std::int64_t now) {
        Json* request = nullptr;
        if (auto refused = find(document, id, secret, request))
            return *refused;
        if (request->at("status") != "pending")
            return CenterAnswer::failure(409, AlreadyApproved);
        Json* match = nullptr;
        for (auto& [unused, code] : document["pair_codes"].items()) {
            if (CenterRandom::same(typed, text(code, "code")) && code.at("status") == "open" &&
                left(code, now) > 0)
                match = &code;
        }
        if (match == nullptr) {
            // Codes are short: a request gets a few guesses, then it is gone.
            const std::int64_t tries = request->at("tries_left").get<std::int64_t>() - 1;
            if (tries <= 0)
                document["pair_requests"].erase(id);
            else
                (*request)["tries_left"] = tries;
            return CenterAnswer::failure(400, "invalid_code");
        }
        (*match)["status"] = "claimed";
        (*match)["request"] = id;
        (*match)["name"] = text(*request, "name");
        (*match)["platform"] = text(*request, "platform");
        return CenterAnswer::ok();
    });
}

CenterAnswer CenterPairing::codeApprove(const Identity& who, const std::string& id,
                                        const std::string& requestId)
{
    return m_center.transactAs(who, [&](Json& document, std::int64_t now) {
        Json* code = nullptr;
        if (auto refused = findCode(document, who, id, now, code))
            return *refused;
        if (code->at("status") != "claimed")
            return CenterAnswer::failure(409, "Код ещё не введён на новом устройстве.");
        if (text(*code, "request") != requestId)
            return CenterAnswer::failure(409, "Код введён для другой заявки.");
        Json& requests = document["pair_requests"];
        const auto request = requests.find(requestId);
        if (request == requests.end())
            return CenterAnswer::failure(404, "not_found");
        if (request->at("status") != "pending")
            return CenterAnswer::failure(409, AlreadyApproved);
        if (auto refused = grant(document, *request, who.account, now))
            return *refused;
        document["pair_codes"].erase(id);
        CenterAnswer answer = CenterAnswer::ok();
        answer.note = "pairing request approved by code";
        return answer;
    });
}

} // namespace ovrin::helper
