#pragma once

#include "center/Center.h"

namespace ovrin::helper {

// Pairing at the center: a new device opens a request (id, secret, QR token) and waits for a
// signed-in device of an account to approve it, either from the QR link or through a short
// code the signed-in device shows and the new device claims. Approval gives the new device a
// place in the account; its next status poll signs it in.
class CenterPairing {
public:
    static constexpr std::int64_t RequestSeconds = 360;
    static constexpr std::int64_t QrSeconds = 60;
    static constexpr std::int64_t CodeSeconds = 300;
    static constexpr int ClaimTries = 5;

    explicit CenterPairing(Center& center);

    // {"id", "secret", "qr_token", "expires_in", "qr_expires_in"}.
    CenterAnswer open(const DeviceIntro& device);
    // {"status": "pending"|"approved", "expires_in", "profile_pending": false}; once approved,
    // `signedIn` names the new device while it still belongs to the account.
    CenterAnswer status(const std::string& id, const std::string& secret);
    // {"name", "platform"} of the requester.
    CenterAnswer inspect(const Identity& who, const std::string& id, const std::string& qrToken);
    CenterAnswer approve(const Identity& who, const std::string& id, const std::string& qrToken);
    // {"id", "code", "expires_in"}.
    CenterAnswer createCode(const Identity& who);
    // {"status": "open"|"claimed", "request_id", "name", "platform", "expires_in"}.
    CenterAnswer codeStatus(const Identity& who, const std::string& id);
    CenterAnswer claim(const std::string& id, const std::string& secret, const std::string& code);
    CenterAnswer codeApprove(const Identity& who, const std::string& id,
                             const std::string& requestId);

private:
    Center& m_center;
};

} // namespace ovrin::helper
