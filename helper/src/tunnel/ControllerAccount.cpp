// What the account service keeps through Controller: this helper's sign-in and the channel
// list it applied, both saved with the settings.
#include "tunnel/Controller.h"

#include <utility>

namespace ovrin::helper {

Identity Controller::session()
{
    std::lock_guard lock(mutex_);
    return settings_.session;
}

std::optional<std::string> Controller::saveSession(const Identity& session)
{
    std::lock_guard lock(mutex_);
    const Identity previous = std::exchange(settings_.session, session);
    if (auto failure = persistLocked()) {
        settings_.session = previous;
        return failure;
    }
    return std::nullopt;
}

Controller::Replacement Controller::replaceChannels(std::vector<ChannelProfile> channels,
                                                    std::string& reason)
{
    std::lock_guard lock(mutex_);
    settleLocked(clock_());
    if (simulation_.running())
        return Replacement::TunnelRunning;
    std::vector<ChannelProfile> previous = std::exchange(settings_.appliedChannels, channels);
    if (auto failure = persistLocked()) {
        settings_.appliedChannels = std::move(previous);
        reason = *failure;
        return Replacement::NotSaved;
    }
    const std::size_t count = channels.size();
    simulation_.replaceChannels(std::move(channels));
    if (auto last = channelNamed(settings_.lastChannel))
        simulation_.select(*last);
    logs_.info("channel list replaced and saved: " + std::to_string(count) + " channels");
    return Replacement::Done;
}

} // namespace ovrin::helper
