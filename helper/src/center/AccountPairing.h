#pragma once

#include "center/AccountCall.h"
#include "center/CenterPairing.h"

namespace ovrin::helper {

// The pairing targets "/account/pair/...": each checks its request and asks the center's
// pairing. Signing this helper in once a request it opened is approved is left to the caller.
class AccountPairing {
public:
    explicit AccountPairing(Center& center);

    // "/account/pair/requests".
    CenterAnswer open(AccountCall& call);
    // "/account/pair/status". `signedIn` is set only while this helper is signed out.
    CenterAnswer status(AccountCall& call);
    // "/account/pair/inspect" and "/account/pair/approve": a QR link read by a signed-in device.
    CenterAnswer byQr(AccountCall& call);
    // "/account/pair/codes".
    CenterAnswer createCode(AccountCall& call);
    // "/account/pair/code-status".
    CenterAnswer codeStatus(AccountCall& call);
    // "/account/pair/claim".
    CenterAnswer claim(AccountCall& call);
    // "/account/pair/code-approve".
    CenterAnswer codeApprove(AccountCall& call);

private:
    CenterPairing m_pairing;
};

} // namespace ovrin::helper
