#include "center/AccountCall.h"

namespace ovrin::helper {

const std::string AccountCall::AlreadySignedIn =
    "Этот компьютер уже вошёл в аккаунт. Сначала выйдите из него.";

CenterAnswer AccountCall::badRequest() const
{
    return CenterAnswer::failure(400, body.error());
}

std::optional<CenterAnswer> AccountCall::refuseFields()
{
    body.allowOnly({});
    return body.ok() ? std::nullopt : std::optional(badRequest());
}

} // namespace ovrin::helper
