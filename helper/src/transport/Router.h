#pragma once

#include "center/AccountService.h"
#include "transport/Reply.h"
#include "transport/Request.h"
#include "transport/Target.h"
#include "tunnel/Controller.h"

#include <string>

namespace ovrin::helper {

// Maps each request of the control socket to the controller or, for "/account/...", to the
// account service: the target and its arguments,
// the method, the update session, the scenario's refusals and delays, and the request log.
// Never throws: a failure inside a command becomes a 500 reply and a crash snapshot.
class Router {
public:
    static constexpr const char* SessionHeader = "x-ovrin-update-session";

    // `updateSession` authorises /updates/intent and /stop?reason=update. The "/account/..."
    // targets go to `account`.
    Router(Controller& controller, std::string updateSession, AccountService& account);

    Outcome handle(const Request& request);

private:
    Outcome route(const Request& request, const Target& target);
    Outcome guarded(const Request& request, const std::function<Outcome()>& work);
    // Logs the request once its final reply is known.
    Outcome logged(const Request& request, const std::string& path, Outcome outcome);
    bool sessionMatches(const Request& request) const;

    Controller& m_controller;
    std::string m_updateSession;
    AccountService& m_account;
};

} // namespace ovrin::helper
