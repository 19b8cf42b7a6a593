#pragma once

#include "center/AccountCall.h"
#include "center/AccountPairing.h"
#include "center/Center.h"
#include "transport/Reply.h"
#include "transport/Request.h"
#include "transport/Target.h"
#include "tunnel/ChannelProfile.h"
#include "tunnel/Controller.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ovrin::helper {

// The helper's side of the account: the "/account/..." targets. It checks every request,
// keeps this helper's own state (the imported server list, its sign-in, the forced keychain
// and credential states, the last account error) and talks to the simulated center for the
// rest. Requests are served one at a time. Every reply is a JSON object; a failure carries a
// string "error": a machine code the application explains, or a Russian text.
class AccountService {
public:
    struct Setup {
        DataFolder folder;
        std::filesystem::path centerFolder;
        CenterClock::Wall wall; // the system clock when empty
    };

    AccountService(Controller& controller, Setup setup);

    // Reads back the imported server list and applies the scenario's forced states.
    void start();
    Reply handle(const Request& request, const Target& target);

private:
    using Call = AccountCall;
    using Handler = CenterAnswer (AccountService::*)(Call&);
    enum class Needs { Nothing, ServerList, SignIn };
    struct Route {
        std::string_view path;
        const char* method;
        Needs needs;
        Handler handler;
    };
    static const Route Routes[];

    CenterAnswer status(Call& call);
    CenterAnswer bootstrap(Call& call);
    CenterAnswer authRequest(Call& call);
    CenterAnswer authVerify(Call& call);
    CenterAnswer logout(Call& call);
    CenterAnswer apply(Call& call);
    CenterAnswer refresh(Call& call);
    CenterAnswer keychainRetry(Call& call);
    CenterAnswer cabinet(Call& call);
    // Signs this helper in once the pairing request it opened is approved.
    CenterAnswer pairStatus(Call& call);
    // The other pairing targets, served by `m_pairing` alone.
    template <CenterAnswer (AccountPairing::*Serve)(Call&)>
    CenterAnswer pairing(Call& call)
    {
        return (m_pairing.*Serve)(call);
    }

    Reply dispatch(const Route& route, const Request& request, const Target& target);
    // Saves the sign-in an answer brings; a sign-in that cannot be saved is undone.
    CenterAnswer adopt(CenterAnswer answer);
    void dropSession(const std::string& why);

    Controller& m_controller;
    DataFolder m_folder;
    Center m_center;
    AccountPairing m_pairing;

    std::mutex m_mutex;
    bool m_bootstrap = false;
    std::vector<ChannelProfile> m_servers;
    bool m_keychainError = false;
    bool m_pendingCredentials = false;
    std::string m_error;
};

} // namespace ovrin::helper
