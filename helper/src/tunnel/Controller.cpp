#include "tunnel/Controller.h"

#include "common/ErrorText.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace ovrin::helper {

namespace {

const std::string NotInstalled = "Сначала установите служебный компонент Оврин.";
const std::string InstallFailed = "Не удалось установить служебный компонент Оврин.";

} // namespace

Controller::Controller(Setup setup)
    : m_scenario(std::move(setup.scenario))
    , m_folder(std::move(setup.folder))
    , m_clock(setup.clock ? std::move(setup.clock)
                          : [] { return std::chrono::steady_clock::now(); })
    , m_version(std::move(setup.version))
    , m_logs(m_folder.logs(), setup.logRotateBytes)
    , m_store(m_folder.state())
    , m_simulation(std::move(setup.channels), setup.engine)
{
    m_simulation.setStallAfter(m_scenario.stallAfter);
    m_lastCountFlush = m_clock();
}

bool Controller::helperUsableLocked() const
{
    return m_settings.installed && !m_scenario.helperMissing;
}

std::optional<std::size_t> Controller::channelNamed(const std::string& name) const
{
    const auto& channels = m_simulation.channels();
    for (std::size_t i = 0; i < channels.size(); ++i)
        if (channels[i].name == name)
            return i;
    return std::nullopt;
}

std::optional<std::string> Controller::persistLocked()
{
    if (std::error_code error = m_store.save(m_settings)) {
        m_logs.warning("state not saved: " + error.message());
        m_logs.snapshot("state_not_saved",
                        {{"file", m_store.file().string()}, {"error", error.message()}});
        return ErrorText::describe(error);
    }
    return std::nullopt;
}

void Controller::connectLocked(std::size_t index, TimePoint now, std::string_view why)
{
    const ChannelProfile& channel = m_simulation.channels()[index];
    if (!helperUsableLocked()) {
        m_message = NotInstalled;
        m_logs.warning("not connecting " + channel.name + " (" + std::string(why) +
                       "): the privileged part is not installed");
        return;
    }
    if (m_simulation.running() && m_simulation.active() == index)
        return;
    m_simulation.connect(index, now);
    m_opened = false;
    m_message.clear();
    m_logs.info("connect " + channel.name + " [" + std::to_string(index) + ", " +
                channel.transportName() + "]: " + std::string(why));
    if (m_settings.lastChannel != channel.name) {
        m_settings.lastChannel = channel.name;
        persistLocked();
    }
}

Simulation::Reading Controller::settleLocked(TimePoint now)
{
    if (m_installUntil && now >= *m_installUntil) {
        m_installUntil.reset();
        if (m_scenario.helperMissing) {
            m_message = InstallFailed;
            m_logs.warning("installation of the privileged part failed (scenario)");
        } else {
            m_settings.installed = true;
            if (m_message == NotInstalled)
                m_message.clear();
            persistLocked();
            m_logs.info("privileged part installed");
        }
    }

    const Simulation::Reading reading = m_simulation.read(now);
    const std::string& channel = m_simulation.channels()[m_simulation.active()].name;
    if (m_simulation.generation() != m_seenGeneration) {
        m_seenGeneration = m_simulation.generation();
        m_seen = {};
    }
    if (reading.latencyMs > 0 && m_seen.latencyMs == 0)
        m_logs.info("first response from " + channel + ": " + std::to_string(reading.latencyMs) +
                    " ms");
    if (reading.verified && !m_seen.verified)
        m_logs.info("traffic through " + channel + " verified");
    if (reading.running && m_seen.primary && !reading.primary)
        m_logs.warning("route lost: traffic bypasses the tunnel through " + channel);
    if (const bool armed = armedLocked(reading); armed != m_armed) {
        m_armed = armed;
        m_logs.info(armed ? "strict protection armed: no tunnel runs"
                          : "strict protection released");
    }
    m_seen = reading;
    return reading;
}

nlohmann::ordered_json Controller::statusLocked(TimePoint now)
{
    const Simulation::Reading reading = settleLocked(now);
    nlohmann::ordered_json names = nlohmann::ordered_json::array();
    for (const auto& channel : m_simulation.channels())
        names.push_back(channel.name);
    return {
        {"running", reading.running},
        {"active", std::int64_t(m_simulation.active())},
        {"auto", m_automatic},
        {"latency_ms", reading.latencyMs},
        {"down_bps", reading.downBps},
        {"up_bps", reading.upBps},
        {"peak_bps", reading.peakBps},
        {"best_bps", m_simulation.best()},
        {"check_wait_ms", reading.checkWaitMs},
        {"check_total_ms", reading.checkTotalMs},
        {"check_next_ms", reading.checkNextMs},
        {"message", m_scenario.message.empty() ? m_message : m_scenario.message},
        {"channels", std::move(names)},
        {"helper", helperUsableLocked()},
        {"primary", reading.primary},
        {"autoconnect", m_settings.autoconnect},
        {"protected", m_settings.protection},
        {"protection_armed", armedLocked(reading)},
        {"verified", reading.verified},
    };
}

Reply Controller::statusReplyLocked(int code, TimePoint now)
{
    return Reply::json(code, statusLocked(now));
}

nlohmann::ordered_json Controller::status()
{
    std::lock_guard lock(m_mutex);
    return statusLocked(m_clock());
}

Reply Controller::connect(const std::optional<std::string>& index)
{
    std::lock_guard lock(m_mutex);
    const TimePoint now = m_clock();
    const std::size_t count = m_simulation.channels().size();
    std::size_t value = 0;
    const bool number = index && !index->empty() &&
                        std::from_chars(index->data(), index->data() + index->size(), value).ptr ==
                            index->data() + index->size();
    if (!number)
        m_message = "Не указан номер канала.";
    else if (value >= count)
        m_message = "Канал с номером " + *index + " не найден: номера каналов от 0 до " +
                    std::to_string(count - 1) + ".";
    if (!number || value >= count) {
        m_logs.warning("connect refused: bad channel index '" + index.value_or("") + "'");
        return Reply::text(400, m_message);
    }
    if (!helperUsableLocked()) {
        m_message = NotInstalled;
        m_logs.warning("connect refused: the privileged part is not installed");
        return Reply::text(409, m_message);
    }
    connectLocked(value, now, "requested");
    return statusReplyLocked(200, now);
}

Reply Controller::stop(std::string_view reason)
{
    std::lock_guard lock(m_mutex);
    const TimePoint now = m_clock();
    settleLocked(now);
    if (m_simulation.running()) {
        m_logs.info("disconnect " + m_simulation.channels()[m_simulation.active()].name +
                    (reason.empty() ? std::string() : " (" + std::string(reason) + ")"));
        m_simulation.stop();
    } else if (m_settings.protection) {
        m_opened = true;
    }
    m_message.clear();
    return statusReplyLocked(200, now);
}

Reply Controller::setAutoconnect(bool on)
{
    std::lock_guard lock(m_mutex);
    m_settings.autoconnect = on;
    m_logs.info(std::string("connect at start-up ") + (on ? "on" : "off"));
    if (auto failure = persistLocked())
        return Reply::text(500, "Настройка не сохранена: " + *failure + ".");
    return statusReplyLocked(200, m_clock());
}

Reply Controller::cancelAutomatic()
{
    std::lock_guard lock(m_mutex);
    if (std::exchange(m_automatic, false))
        m_logs.info("automatic channel choice cancelled");
    return statusReplyLocked(200, m_clock());
}

bool Controller::armedLocked(const Simulation::Reading& reading) const
{
    return m_settings.protection && !reading.running && !m_opened;
}

Reply Controller::setProtection(bool on)
{
    std::lock_guard lock(m_mutex);
    m_settings.protection = on;
    m_opened = false;
    m_logs.info(std::string("strict protection ") + (on ? "on" : "off") +
                " (simulated: the firewall is not touched)");
    if (auto failure = persistLocked())
        return Reply::text(500, "Защита не сохранена: " + *failure + ".");
    settleLocked(m_clock());
    return Reply::empty(204);
}

Outcome Controller::install()
{
    std::lock_guard lock(m_mutex);
    const TimePoint now = m_clock();
    settleLocked(now);
    if (helperUsableLocked())
        return statusReplyLocked(200, now);
    if (!m_installUntil) {
        m_installUntil = now + m_simulation.engine().install;
        m_logs.info("installing the privileged part");
    }
    const TimePoint until = *m_installUntil;
    return Outcome(std::chrono::ceil<std::chrono::milliseconds>(until - now), [this, until] {
        std::lock_guard later(m_mutex);
        const TimePoint done = std::max(m_clock(), until);
        settleLocked(done);
        if (helperUsableLocked())
            return Outcome(statusReplyLocked(200, done));
        return Outcome(Reply::text(500, m_message.empty() ? InstallFailed : m_message));
    });
}

Reply Controller::saveForUpdate(std::int64_t build)
{
    std::lock_guard lock(m_mutex);
    settleLocked(m_clock());
    m_settings.resumeChannel =
        m_simulation.running() ? m_simulation.channels()[m_simulation.active()].name : "";
    m_logs.info("update to build " + std::to_string(build) + ": connection saved (" +
                (m_settings.resumeChannel.empty() ? "none" : m_settings.resumeChannel) + ")");
    if (auto failure = persistLocked())
        return Reply::text(500, "Подключение не сохранено: " + *failure + ".");
    return Reply::json(200, {{"saved", true}, {"channel", m_settings.resumeChannel}});
}

} // namespace ovrin::helper
