#pragma once

#include "center/CenterAnswer.h"
#include "common/Identity.h"
#include "transport/FlatBody.h"
#include "transport/Request.h"
#include "transport/Target.h"

#include <optional>
#include <string>

namespace ovrin::helper {

// One request to an account target as its handler sees it. The handler takes the fields it
// needs from `body`, which records the first problem.
struct AccountCall {
    static const std::string AlreadySignedIn;

    FlatBody& body;
    const Request& request;
    const Target& target;
    std::optional<Identity> who; // the sign-in, unless hidden by a keychain error

    // The 400 answer naming the body's first problem.
    CenterAnswer badRequest() const;
    // For a command without fields ("{}" or nothing): the 400 answer when there are any.
    std::optional<CenterAnswer> refuseFields();
};

} // namespace ovrin::helper
