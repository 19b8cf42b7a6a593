#pragma once

#include <string>
#include <string_view>

namespace ovrin::helper {

// Identifiers, secrets and codes the center hands out, drawn from OpenSSL's generator. All of
// them are safe in a request target and a header: hex, base64url or upper-case letters and
// digits. Throws std::runtime_error when the generator fails.
struct CenterRandom {
    static constexpr std::size_t IdLength = 32;    // 128 bits as lower-case hex
    static constexpr std::size_t TokenLength = 43; // 256 bits as base64url without padding
    static constexpr std::size_t PairCodeLength = 6;
    // No 0/O or 1/I: the pairing code is read off one screen and typed on another.
    static constexpr std::string_view PairCodeAlphabet = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";

    static std::string id();
    static std::string token();
    static std::string digits(std::size_t count);
    static std::string pairCode();

    static bool isId(std::string_view text);
    static bool isToken(std::string_view text);
    // Compares secrets in a time that does not depend on where they differ.
    static bool same(std::string_view a, std::string_view b);
};

} // namespace ovrin::helper
