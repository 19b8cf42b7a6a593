#pragma once

#include "tunnel/ChannelProfile.h"
#include "tunnel/EngineProfile.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace ovrin::helper {

// The simulated tunnel. Everything it reports is a function of the engine seed, the channel
// and the time since connecting, sampled once per engine tick, so two runs with the same
// seed and the same clock report the same figures.
class Simulation {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Millis = std::chrono::milliseconds;

    struct Reading {
        bool running = false;
        bool primary = false;
        bool verified = false;
        std::int64_t latencyMs = 0;
        std::int64_t downBps = 0;
        std::int64_t upBps = 0;
        std::int64_t peakBps = 0;
        std::int64_t checkWaitMs = 0;
        std::int64_t checkTotalMs = 0;
        std::int64_t checkNextMs = 0;
    };

    Simulation(std::vector<ChannelProfile> channels, EngineProfile engine);

    const std::vector<ChannelProfile>& channels() const { return m_channels; }
    const EngineProfile& engine() const { return m_engine; }

    // From `after` on, the route is lost: the tunnel runs but carries nothing.
    void setStallAfter(std::optional<Millis> after) { m_stallAfter = after; }

    // Starts a new connection unless this channel is already running. False for a bad index.
    bool connect(std::size_t channel, TimePoint now);
    void stop();
    // Points `active` at a channel without connecting; ignored while running or out of range.
    void select(std::size_t channel);
    // A new channel list, with `active` on its first channel and the best rates forgotten.
    // False, changing nothing, while a tunnel runs or for an empty list.
    bool replaceChannels(std::vector<ChannelProfile> channels);

    bool running() const { return m_running; }
    // Counts the connections made; a new value means a new connection.
    std::uint64_t generation() const { return m_generation; }
    std::size_t active() const { return m_active; }
    const std::vector<std::int64_t>& best() const { return m_best; }
    // The channel an automatic choice takes: the lowest base latency, the first on a tie.
    std::size_t automaticChoice() const;

    // Samples every tick up to `now` and reports the state at `now`.
    Reading read(TimePoint now);

private:
    struct Sample {
        std::int64_t downBps = 0;
        std::int64_t upBps = 0;
        std::int64_t latencyMs = 0;
    };

    void advance(TimePoint now);
    Sample sampleAt(std::int64_t tickIndex) const;
    double wave(std::uint64_t stream, double seconds) const;
    bool stalledAt(Millis elapsed) const;

    std::vector<ChannelProfile> m_channels;
    EngineProfile m_engine;
    std::optional<Millis> m_stallAfter;
    std::vector<std::int64_t> m_best;

    bool m_running = false;
    std::size_t m_active = 0;
    TimePoint m_connectedAt{};
    std::int64_t m_lastTick = 0;
    Sample m_current;
    std::int64_t m_peakBps = 0;
    std::uint64_t m_generation = 0;
};

} // namespace ovrin::helper
