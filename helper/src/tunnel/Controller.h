#pragma once

#include "common/DataFolder.h"
#include "transport/Reply.h"
#include "tunnel/ChannelProfile.h"
#include "tunnel/EngineProfile.h"
#include "tunnel/Logs.h"
#include "tunnel/Scenario.h"
#include "tunnel/Simulation.h"
#include "tunnel/StateStore.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace ovrin::helper {

// The helper's state and its commands: the simulated tunnel, the saved settings, the
// installation of the privileged part and the logs. Every member is thread-safe; each call
// takes the time from the clock given at construction, so tests can drive the time.
// Replies carry the status codes the application relies on; texts a user reads are Russian.
class Controller {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Clock = std::function<TimePoint()>;

    struct Setup {
        std::vector<ChannelProfile> channels;
        EngineProfile engine;
        Scenario scenario;
        DataFolder folder;
        Clock clock; // the steady clock when empty
        std::string version;
        std::uintmax_t logRotateBytes = Logs::RotateBytes;
    };

    explicit Controller(Setup setup);
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    // Reads the saved state (a missing or corrupt file means defaults), logs the start and
    // makes the start-up connection: the restored channel, else the one saved for an update,
    // else an automatic choice when connecting at start-up is on.
    void start(const std::optional<std::string>& restoreChannel);
    // Saves the state and marks the stop as clean.
    void shutdown();
    // Periodic work: completes an installation, logs state changes, writes the request counts.
    void tick();

    nlohmann::ordered_json status();
    // `index` is the raw query value.
    Reply connect(const std::optional<std::string>& index);
    Reply stop(std::string_view reason);
    Reply setAutoconnect(bool on);
    Reply cancelAutomatic();
    Reply setProtection(bool on);
    // Answers once the installation has finished.
    Outcome install();
    Reply exportLogs(const std::string& target);
    Reply clearLogs();
    // Keeps the running channel so that the next start connects it again.
    Reply saveForUpdate(std::int64_t build);

    // The helper's own sign-in, saved with the settings.
    Identity session();
    // Nothing once saved; otherwise the reason, in Russian, and the old sign-in stays.
    std::optional<std::string> saveSession(const Identity& session);
    enum class Replacement { Done, TunnelRunning, NotSaved };
    // Takes a new channel list and saves it with the settings, so that the next starts serve it
    // too. Changes nothing while a tunnel runs, or when it cannot be saved: `reason` then says
    // why, in Russian.
    Replacement replaceChannels(std::vector<ChannelProfile> channels, std::string& reason);

    const Scenario& scenario() const { return m_scenario; }
    Logs& logs() { return m_logs; }
    // An abnormal event: logged with a crash snapshot.
    void reportFailure(std::string_view event, const nlohmann::json& details);

private:
    Simulation::Reading settleLocked(TimePoint now);
    // Strict protection blocks the traffic now.
    bool armedLocked(const Simulation::Reading& reading) const;
    nlohmann::ordered_json statusLocked(TimePoint now);
    Reply statusReplyLocked(int code, TimePoint now);
    bool helperUsableLocked() const;
    void connectLocked(std::size_t index, TimePoint now, std::string_view why);
    std::optional<std::size_t> channelNamed(const std::string& name) const;
    // Saves the settings; a failure is logged with a snapshot and returned as a reason.
    std::optional<std::string> persistLocked();
    std::string summaryLocked(TimePoint now);

    Scenario m_scenario;
    DataFolder m_folder;
    Clock m_clock;
    std::string m_version;
    Logs m_logs;
    StateStore m_store;

    std::mutex m_mutex;
    Simulation m_simulation;
    Settings m_settings;
    bool m_automatic = true;
    std::string m_message;
    std::optional<TimePoint> m_installUntil;
    // What the log has already told about the current connection.
    Simulation::Reading m_seen;
    std::uint64_t m_seenGeneration = 0;
    bool m_armed = false;
    // A stop while no tunnel ran: the user opened the internet. Strict
    // protection blocks again from the next connection or switch-on.
    bool m_opened = false;
    TimePoint m_lastCountFlush;
};

} // namespace ovrin::helper
