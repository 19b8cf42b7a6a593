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
    : scenario_(std::move(setup.scenario))
    , folder_(std::move(setup.folder))
    , clock_(setup.clock ? std::move(setup.clock) : [] { return std::chrono::steady_clock::now(); })
    , version_(std::move(setup.version))
    , logs_(folder_.logs(), setup.logRotateBytes)
    , store_(folder_.state())
    , simulation_(std::move(setup.channels), setup.engine)
{
    simulation_.setStallAfter(scenario_.stallAfter);
    lastCountFlush_ = clock_();
}

bool Controller::helperUsableLocked() const
{
    return settings_.installed && !scenario_.helperMissing;
}

std::optional<std::size_t> Controller::channelNamed(const std::string& name) const
{
    const auto& channels = simulation_.channels();
    for (std::size_t i = 0; i < channels.size(); ++i)
        if (channels[i].name == name)
            return i;
    return std::nullopt;
}

std::optional<std::string> Controller::persistLocked()
{
    if (std::error_code error = store_.save(settings_)) {
        logs_.warning("state not saved: " + error.message());
        logs_.snapshot("state_not_saved",
                       {{"file", store_.file().string()}, {"error", error.message()}});
        return ErrorText::describe(error);
    }
    return std::nullopt;
}

void Controller::connectLocked(std::size_t index, TimePoint now, std::string_view why)
{
    const ChannelProfile& channel = simulation_.channels()[index];
    if (!helperUsableLocked()) {
        message_ = NotInstalled;
        logs_.warning("not connecting " + channel.name + " (" + std::string(why) +
                      "): the privileged part is not installed");
        return;
    }
    if (simulation_.running() && simulation_.active() == index)
        return;
    simulation_.connect(index, now);
    opened_ = false;
    message_.clear();
    logs_.info("connect " + channel.name + " [" + std::to_string(index) + ", " +
               channel.transportName() + "]: " + std::string(why));
    if (settings_.lastChannel != channel.name) {
        settings_.lastChannel = channel.name;
        persistLocked();
    }
}

Simulation::Reading Controller::settleLocked(TimePoint now)
{
    if (installUntil_ && now >= *installUntil_) {
        installUntil_.reset();
        if (scenario_.helperMissing) {
            message_ = InstallFailed;
            logs_.warning("installation of the privileged part failed (scenario)");
        } else {
            settings_.installed = true;
            if (message_ == NotInstalled)
                message_.clear();
            persistLocked();
            logs_.info("privileged part installed");
        }
    }

    const Simulation::Reading reading = simulation_.read(now);
    const std::string& channel = simulation_.channels()[simulation_.active()].name;
    if (simulation_.generation() != seenGeneration_) {
        seenGeneration_ = simulation_.generation();
        seen_ = {};
    }
    if (reading.latencyMs > 0 && seen_.latencyMs == 0)
        logs_.info("first response from " + channel + ": " + std::to_string(reading.latencyMs) +
                   " ms");
    if (reading.verified && !seen_.verified)
        logs_.info("traffic through " + channel + " verified");
    if (reading.running && seen_.primary && !reading.primary)
        logs_.warning("route lost: traffic bypasses the tunnel through " + channel);
    if (const bool armed = armedLocked(reading); armed != armed_) {
        armed_ = armed;
        logs_.info(armed ? "strict protection armed: no tunnel runs"
                         : "strict protection released");
    }
    seen_ = reading;
    return reading;
}

nlohmann::ordered_json Controller::statusLocked(TimePoint now)
{
    const Simulation::Reading reading = settleLocked(now);
    nlohmann::ordered_json names = nlohmann::ordered_json::array();
    for (const auto& channel : simulation_.channels())
        names.push_back(channel.name);
    return {
        {"running", reading.running},
        {"active", std::int64_t(simulation_.active())},
        {"auto", automatic_},
        {"latency_ms", reading.latencyMs},
        {"down_bps", reading.downBps},
        {"up_bps", reading.upBps},
        {"peak_bps", reading.peakBps},
        {"best_bps", simulation_.best()},
        {"check_wait_ms", reading.checkWaitMs},
        {"check_total_ms", reading.checkTotalMs},
        {"check_next_ms", reading.checkNextMs},
        {"message", scenario_.message.empty() ? message_ : scenario_.message},
        {"channels", std::move(names)},
        {"helper", helperUsableLocked()},
        {"primary", reading.primary},
        {"autoconnect", settings_.autoconnect},
        {"protected", settings_.protection},
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
    std::lock_guard lock(mutex_);
    return statusLocked(clock_());
}

Reply Controller::connect(const std::optional<std::string>& index)
{
    std::lock_guard lock(mutex_);
    const TimePoint now = clock_();
    const std::size_t count = simulation_.channels().size();
    std::size_t value = 0;
    const bool number = index && !index->empty() &&
                        std::from_chars(index->data(), index->data() + index->size(), value).ptr ==
                            index->data() + index->size();
    if (!number)
        message_ = "Не указан номер канала.";
    else if (value >= count)
        message_ = "Канал с номером " + *index + " не найден: номера каналов от 0 до " +
                   std::to_string(count - 1) + ".";
    if (!number || value >= count) {
        logs_.warning("connect refused: bad channel index '" + index.value_or("") + "'");
        return Reply::text(400, message_);
    }
    if (!helperUsableLocked()) {
        message_ = NotInstalled;
        logs_.warning("connect refused: the privileged part is not installed");
        return Reply::text(409, message_);
    }
    connectLocked(value, now, "requested");
    return statusReplyLocked(200, now);
}

Reply Controller::stop(std::string_view reason)
{
    std::lock_guard lock(mutex_);
    const TimePoint now = clock_();
    settleLocked(now);
    if (simulation_.running()) {
        logs_.info("disconnect " + simulation_.channels()[simulation_.active()].name +
                   (reason.empty() ? std::string() : " (" + std::string(reason) + ")"));
        simulation_.stop();
    } else if (settings_.protection) {
        opened_ = true;
    }
    message_.clear();
    return statusReplyLocked(200, now);
}

Reply Controller::setAutoconnect(bool on)
{
    std::lock_guard lock(mutex_);
    settings_.autoconnect = on;
    logs_.info(std::string("connect at start-up ") + (on ? "on" : "off"));
    if (auto failure = persistLocked())
        return Reply::text(500, "Настройка не сохранена: " + *failure + ".");
    return statusReplyLocked(200, clock_());
}

Reply Controller::cancelAutomatic()
{
    std::lock_guard lock(mutex_);
    if (std::exchange(automatic_, false))
        logs_.info("automatic channel choice cancelled");
    return statusReplyLocked(200, clock_());
}

bool Controller::armedLocked(const Simulation::Reading& reading) const
{
    return settings_.protection && !reading.running && !opened_;
}

Reply Controller::setProtection(bool on)
{
    std::lock_guard lock(mutex_);
    settings_.protection = on;
    opened_ = false;
    logs_.info(std::string("strict protection ") + (on ? "on" : "off") +
               " (simulated: the firewall is not touched)");
    if (auto failure = persistLocked())
        return Reply::text(500, "Защита не сохранена: " + *failure + ".");
    settleLocked(clock_());
    return Reply::empty(204);
}

Outcome Controller::install()
{
    std::lock_guard lock(mutex_);
    const TimePoint now = clock_();
    settleLocked(now);
    if (helperUsableLocked())
        return statusReplyLocked(200, now);
    if (!installUntil_) {
        installUntil_ = now + simulation_.engine().install;
        logs_.info("installing the privileged part");
    }
    const TimePoint until = *installUntil_;
    return Outcome(std::chrono::ceil<std::chrono::milliseconds>(until - now), [this, until] {
        std::lock_guard later(mutex_);
        const TimePoint done = std::max(clock_(), until);
        settleLocked(done);
        if (helperUsableLocked())
            return Outcome(statusReplyLocked(200, done));
        return Outcome(Reply::text(500, message_.empty() ? InstallFailed : message_));
    });
}

Reply Controller::saveForUpdate(std::int64_t build)
{
    std::lock_guard lock(mutex_);
    settleLocked(clock_());
    settings_.resumeChannel =
        simulation_.running() ? simulation_.channels()[simulation_.active()].name : "";
    logs_.info("update to build " + std::to_string(build) + ": connection saved (" +
               (settings_.resumeChannel.empty() ? "none" : settings_.resumeChannel) + ")");
    if (auto failure = persistLocked())
        return Reply::text(500, "Подключение не сохранено: " + *failure + ".");
    return Reply::json(200, {{"saved", true}, {"channel", settings_.resumeChannel}});
}

} // namespace ovrin::helper
