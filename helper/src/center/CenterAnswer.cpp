#include "center/CenterAnswer.h"

#include <utility>

namespace ovrin::helper {

CenterAnswer CenterAnswer::ok(nlohmann::ordered_json body)
{
    CenterAnswer answer;
    answer.body = std::move(body);
    return answer;
}

CenterAnswer CenterAnswer::failure(int status, const std::string& error)
{
    CenterAnswer answer;
    answer.status = status;
    answer.body = {{"error", error}};
    return answer;
}

CenterAnswer CenterAnswer::notSignedIn(bool revoked)
{
    CenterAnswer answer = failure(401, "not_signed_in");
    answer.revoked = revoked;
    return answer;
}

} // namespace ovrin::helper
