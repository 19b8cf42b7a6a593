#pragma once

#include "common/Identity.h"
#include "transport/Reply.h"

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace ovrin::helper {

// What the center answers one call: the reply for the application and what it means for the
// calling helper's own sign-in.
struct CenterAnswer {
    int status = 200;
    nlohmann::ordered_json body = nlohmann::ordered_json::object();
    std::optional<Identity> signedIn; // the caller is now signed in as this device
    bool revoked = false;             // the caller's device no longer belongs to its account
    std::string note;                 // for the helper's log: what happened, never a secret

    static CenterAnswer ok(nlohmann::ordered_json body = nlohmann::ordered_json::object());
    static CenterAnswer failure(int status, const std::string& error);
    static CenterAnswer notSignedIn(bool revoked);
    Reply reply() const { return Reply::json(status, body); }
};

} // namespace ovrin::helper
