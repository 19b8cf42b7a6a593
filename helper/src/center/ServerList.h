#pragma once

#include "tunnel/ChannelProfile.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovrin::helper {

// The signed server list: "servers.json" and "servers.json.sig", the raw 64-byte Ed25519
// signature of the exact bytes of servers.json under the public key built into the helper
// (the demo key of resources/sample-servers). servers.json:
//   {"format": 1, "issued_at": SECONDS, "channels": [{"name", "host", "port", "transport",
//    "latency_ms", "down_bps", "up_bps"}]}
// Its channels are the ones /account/apply loads.
class ServerList {
public:
    static constexpr const char* ListName = "servers.json";
    static constexpr const char* SignatureName = "servers.json.sig";
    static constexpr std::size_t SignatureSize = 64;
    static constexpr std::uintmax_t ListLimit = 1024 * 1024;
    static const std::array<unsigned char, 32> PublicKey;

    struct Verified {
        std::string list;
        std::string signature;
        std::vector<ChannelProfile> channels;
    };

    // Reads and checks the two files of `folder`, in this order: both present, the signature
    // good, the list valid. Nothing on failure, with a Russian `error` that says which, and
    // for a list that does not describe its channels right, the technical `detail`.
    static std::optional<Verified> load(const std::filesystem::path& folder, std::string& error,
                                        std::string* detail = nullptr);
    static std::optional<Verified> check(std::string list, std::string signature,
                                         std::string& error, std::string* detail = nullptr);
    // Keeps a verified list in `folder` (created 0700), each file replaced atomically.
    static std::optional<std::string> save(const Verified& verified,
                                           const std::filesystem::path& folder);

    static bool signatureMatches(std::string_view data, std::string_view signature,
                                 const std::array<unsigned char, 32>& key);
};

} // namespace ovrin::helper
