#include "tunnel/Simulation.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ovrin::helper {

namespace {

std::uint64_t mix(std::uint64_t x)
{
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// A uniform value in [-1, 1] for one point of one stream.
double unit(std::uint64_t key, std::int64_t point)
{
    const std::uint64_t bits = mix(key ^ mix(std::uint64_t(point)));
    return double(bits >> 11) / double(1ULL << 52) - 1.0;
}

double smoothstep(double x)
{
    x = std::clamp(x, 0.0, 1.0);
    return x * x * (3.0 - 2.0 * x);
}

enum Stream : std::uint64_t { Down = 1, Up = 2, Latency = 3 };

// Rates climb to their profile over the first seconds of a connection.
constexpr double RampSeconds = 2.0;
// While the route is lost only keep-alives pass: a few kilobits per second.
constexpr double TrickleBps = 3'000.0;
// How far a sampled tick interval may lag behind a very long idle period.
constexpr std::int64_t MaxCatchUpTicks = 100'000;

} // namespace

Simulation::Simulation(std::vector<ChannelProfile> channels, EngineProfile engine)
    : m_channels(std::move(channels))
    , m_engine(engine)
    , m_best(m_channels.size(), 0)
{}

bool Simulation::connect(std::size_t channel, TimePoint now)
{
    if (channel >= m_channels.size())
        return false;
    if (m_running && m_active == channel)
        return true;
    m_running = true;
    ++m_generation;
    m_active = channel;
    m_connectedAt = now;
    m_lastTick = 0;
    m_current = sampleAt(0);
    m_peakBps = 0;
    return true;
}

void Simulation::stop()
{
    m_running = false;
    m_current = {};
    m_peakBps = 0;
}

void Simulation::select(std::size_t channel)
{
    if (!m_running && channel < m_channels.size())
        m_active = channel;
}

bool Simulation::replaceChannels(std::vector<ChannelProfile> channels)
{
    if (m_running || channels.empty())
        return false;
    m_channels = std::move(channels);
    m_best.assign(m_channels.size(), 0);
    m_active = 0;
    return true;
}

std::size_t Simulation::automaticChoice() const
{
    auto lowest =
        std::min_element(m_channels.begin(), m_channels.end(),
                         [](const auto& a, const auto& b) { return a.latencyMs < b.latencyMs; });
    return std::size_t(lowest - m_channels.begin());
}

bool Simulation::stalledAt(Millis elapsed) const
{
    return m_stallAfter && elapsed >= *m_stallAfter;
}

// A smooth multiplier around 1 (within ±0.21): two slow sines plus interpolated noise,
// with phases and noise drawn from the seed, the channel and the stream.
double Simulation::wave(std::uint64_t stream, double seconds) const
{
    const std::uint64_t key = mix(m_engine.seed ^ mix(m_active * 16 + stream));
    const double phase1 = (unit(key, -1) + 1.0) * std::numbers::pi;
    const double phase2 = (unit(key, -2) + 1.0) * std::numbers::pi;
    const double x = seconds / 1.7;
    const double base = std::floor(x);
    const double noise = std::lerp(unit(key, std::int64_t(base)), unit(key, std::int64_t(base) + 1),
                                   smoothstep(x - base));
    return 1.0 + 0.10 * std::sin(2.0 * std::numbers::pi * seconds / 23.0 + phase1) +
           0.05 * std::sin(2.0 * std::numbers::pi * seconds / 7.3 + phase2) + 0.06 * noise;
}

Simulation::Sample Simulation::sampleAt(std::int64_t tickIndex) const
{
    const ChannelProfile& profile = m_channels[m_active];
    const double seconds = double(tickIndex * m_engine.tick.count()) / 1000.0;
    const double ramp = smoothstep(seconds / RampSeconds);
    Sample sample;
    sample.downBps = std::llround(double(profile.downBps) * wave(Down, seconds) * ramp);
    sample.upBps = std::llround(double(profile.upBps) * wave(Up, seconds) * ramp);
    const double jitter = 1.0 + 0.8 * (wave(Latency, seconds) - 1.0);
    sample.latencyMs = std::max<std::int64_t>(1, std::llround(double(profile.latencyMs) * jitter));
    return sample;
}

void Simulation::advance(TimePoint now)
{
    if (!m_running)
        return;
    const auto elapsed = std::chrono::duration_cast<Millis>(now - m_connectedAt);
    const std::int64_t target = std::max<std::int64_t>(0, elapsed / m_engine.tick);
    if (target <= m_lastTick)
        return;
    std::int64_t tick = std::max(m_lastTick + 1, target - MaxCatchUpTicks);
    for (; tick <= target; ++tick) {
        m_current = sampleAt(tick);
        if (!stalledAt(tick * m_engine.tick))
            m_peakBps = std::max(m_peakBps, m_current.downBps);
    }
    m_lastTick = target;
    m_best[m_active] = std::max(m_best[m_active], m_peakBps);
}

Simulation::Reading Simulation::read(TimePoint now)
{
    advance(now);
    Reading reading;
    if (!m_running) {
        reading.checkNextMs = m_engine.checkPeriod.count();
        return reading;
    }
    const auto elapsed =
        std::max(Millis(0), std::chrono::duration_cast<Millis>(now - m_connectedAt));
    const bool stalled = stalledAt(elapsed);
    const std::int64_t period = m_engine.checkPeriod.count();

    reading.running = true;
    reading.primary = !stalled;
    reading.verified = !stalled && elapsed >= m_engine.verifyAfter;
    reading.latencyMs = elapsed >= m_engine.latencyAfter ? m_current.latencyMs : 0;
    reading.peakBps = m_peakBps;
    if (stalled) {
        const double seconds = double(elapsed.count()) / 1000.0;
        reading.downBps = std::llround(TrickleBps * wave(Down, seconds));
        reading.upBps = std::llround(TrickleBps * wave(Up, seconds));
    } else {
        reading.downBps = m_current.downBps;
        reading.upBps = m_current.upBps;
    }
    reading.checkTotalMs = period;
    reading.checkWaitMs = elapsed.count() % period;
    reading.checkNextMs = period - reading.checkWaitMs;
    return reading;
}

} // namespace ovrin::helper
