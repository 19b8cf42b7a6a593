#include "tunnel/ChannelProfile.h"

#include "common/StrictObject.h"

#include <set>

namespace ovrin::helper {

namespace {
constexpr std::size_t MaxChannels = 64;
constexpr std::int64_t MaxRate = 100'000'000'000; // 100 Gbit/s
} // namespace

std::optional<std::vector<ChannelProfile>> ChannelProfile::parseList(const nlohmann::json& document,
                                                                     std::string& error)
{
    StrictObject top(document, "channels");
    top.allowOnly({"channels"});
    const nlohmann::json* list = top.member("channels");
    if (top.ok() &&
        (list == nullptr || !list->is_array() || list->empty() || list->size() > MaxChannels))
        top.fail("'channels' must be a list of 1 to " + std::to_string(MaxChannels) + " channels");
    if (!top.ok()) {
        error = top.error();
        return std::nullopt;
    }

    std::vector<ChannelProfile> channels;
    std::set<std::string> names;
    for (std::size_t i = 0; i < list->size(); ++i) {
        StrictObject item((*list)[i], "channel " + std::to_string(i));
        item.allowOnly({"name", "latency_ms", "down_bps", "up_bps", "transport"});
        ChannelProfile channel;
        channel.name = item.text("name");
        channel.latencyMs = item.integer("latency_ms", 1, 10'000);
        channel.downBps = item.integer("down_bps", 1'000, MaxRate);
        channel.upBps = item.integer("up_bps", 1'000, MaxRate);
        const std::string transport = item.text("transport");
        if (transport == "tcp")
            channel.transport = Transport::Tcp;
        else if (transport != "udp")
            item.fail("'transport' must be \"tcp\" or \"udp\"");
        if (item.ok() && channel.name.empty())
            item.fail("'name' must not be empty");
        if (item.ok() && !names.insert(channel.name).second)
            item.fail("duplicate name '" + channel.name + "'");
        if (!item.ok()) {
            error = item.error();
            return std::nullopt;
        }
        channels.push_back(std::move(channel));
    }
    return channels;
}

std::optional<std::vector<ChannelProfile>>
ChannelProfile::loadList(const std::filesystem::path& file, std::string& error)
{
    std::optional<nlohmann::json> document = StrictObject::load(file, error);
    if (!document)
        return std::nullopt;
    auto channels = parseList(*document, error);
    if (!channels)
        error = file.string() + ": " + error;
    return channels;
}

nlohmann::ordered_json ChannelProfile::listJson(const std::vector<ChannelProfile>& channels)
{
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const ChannelProfile& channel : channels)
        list.push_back({{"name", channel.name},
                        {"latency_ms", channel.latencyMs},
                        {"down_bps", channel.downBps},
                        {"up_bps", channel.upBps},
                        {"transport", channel.transportName()}});
    return list;
}

} // namespace ovrin::helper
