#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace ovrin::helper {

// One channel of channels.json: its name and the profile the simulation follows.
struct ChannelProfile {
    enum class Transport { Tcp, Udp };

    std::string name;
    std::int64_t latencyMs = 0;
    std::int64_t downBps = 0;
    std::int64_t upBps = 0;
    Transport transport = Transport::Udp;

    std::string transportName() const { return transport == Transport::Tcp ? "tcp" : "udp"; }
    bool operator==(const ChannelProfile&) const = default;

    // {"channels": [{"name", "latency_ms", "down_bps", "up_bps", "transport": "tcp"|"udp"}]};
    // names unique and non-empty, at least one channel.
    static std::optional<std::vector<ChannelProfile>> parseList(const nlohmann::json& document,
                                                                std::string& error);
    static std::optional<std::vector<ChannelProfile>> loadList(const std::filesystem::path& file,
                                                               std::string& error);
    // The "channels" list parseList() reads back.
    static nlohmann::ordered_json listJson(const std::vector<ChannelProfile>& channels);
};

} // namespace ovrin::helper
