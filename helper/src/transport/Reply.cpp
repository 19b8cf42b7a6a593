#include "transport/Reply.h"

namespace ovrin::helper {

Reply Reply::json(int status, const nlohmann::ordered_json& body)
{
    return {status,
            "application/json",
            body.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace),
            {}};
}

Reply Reply::text(int status, std::string body)
{
    return {status, "text/plain; charset=utf-8", std::move(body), {}};
}

Reply Reply::failure(int status, const std::string& error)
{
    return json(status, {{"error", error}});
}

Reply Reply::empty(int status)
{
    return {status, {}, {}, {}};
}

} // namespace ovrin::helper
