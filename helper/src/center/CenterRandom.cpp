#include "center/CenterRandom.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include <openssl/crypto.h>
#include <openssl/rand.h>

namespace ovrin::helper {

namespace {

std::vector<unsigned char> randomBytes(std::size_t count)
{
    std::vector<unsigned char> bytes(count);
    if (RAND_bytes(bytes.data(), int(count)) != 1)
        throw std::runtime_error("RAND_bytes failed");
    return bytes;
}

// Uniform picks from `alphabet` by rejection: no value is more likely than another.
std::string pick(std::string_view alphabet, std::size_t count)
{
    const unsigned limit = 256 - 256 % unsigned(alphabet.size());
    std::string out;
    while (out.size() < count) {
        for (unsigned char byte : randomBytes(count * 2)) {
            if (byte < limit && out.size() < count)
                out += alphabet[byte % alphabet.size()];
        }
    }
    return out;
}

bool isBase64Url(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

} // namespace

std::string CenterRandom::id()
{
    static constexpr char Hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char byte : randomBytes(IdLength / 2)) {
        out += Hex[byte >> 4];
        out += Hex[byte & 15];
    }
    return out;
}

std::string CenterRandom::token()
{
    static constexpr char Alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    const std::vector<unsigned char> bytes = randomBytes(32);
    std::string out;
    unsigned bits = 0;
    int held = 0;
    for (unsigned char byte : bytes) {
        bits = (bits << 8) | byte;
        held += 8;
        while (held >= 6) {
            held -= 6;
            out += Alphabet[(bits >> held) & 63];
        }
    }
    if (held > 0)
        out += Alphabet[(bits << (6 - held)) & 63];
    return out;
}

std::string CenterRandom::digits(std::size_t count)
{
    return pick("0123456789", count);
}

std::string CenterRandom::pairCode()
{
    return pick(PairCodeAlphabet, PairCodeLength);
}

bool CenterRandom::isId(std::string_view text)
{
    return text.size() == IdLength && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

bool CenterRandom::isToken(std::string_view text)
{
    return text.size() == TokenLength && std::all_of(text.begin(), text.end(), isBase64Url);
}

bool CenterRandom::same(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace ovrin::helper
