// What the account service keeps through Controller: this helper's sign-in and the channel
// list it applied, both saved with the settings.
#include "tunnel/Controller.h"

#include <utility>

namespace ovrin::helper {

Identity Controller::session()
{
    std::lock_guard lock(m_mutex);
    return m_settings.session;
}

std::optional<std::string> Controller::saveSession(const Identity& session)
{
    std::lock_guard lock(m_mutex);
    const Identity previous = std::exchange(m_settings.session, session);
    if (auto failure = persistLocked()) {
        m_settings.session = previous;
        return failure;
    }
    return std::nullopt;
}

Controller::Replacement Controller::replaceChannels(std::vector<ChannelProfile> channels,
                                                    std::string& reason)
{
    std::lock_guard lock(m_mutex);
    settleLocked(m_clock());
    if (m_simulation.running())
        return Replacement::TunnelRunning;
    std::vector<ChannelProfile> previous = std::exchange(m_settings.appliedChannels, channels);
    if (auto failure = persistLocked()) {
        m_settings.appliedChannels = std::move(previous);
        reason = *failure;
        return Replacement::NotSaved;
    }
    const std::size_t count = channels.size();
    m_simulation.replaceChannels(std::move(channels));
    if (auto last = channelNamed(m_settings.lastChannel))
        m_simulation.select(*last);
    m_logs.info("channel list replaced and saved: " + std::to_string(count) + " channels");
    return Replacement::Done;
}

} // namespace ovrin::helper
