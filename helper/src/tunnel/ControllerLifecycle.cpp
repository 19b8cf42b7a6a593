// The run of Controller: its start, its periodic work and its clean stop.
#include "tunnel/Controller.h"

#include "center/ServerList.h"
#include "common/AtomicFile.h"

#include <fstream>
#include <utility>

#include <unistd.h>

namespace ovrin::helper {

namespace {

constexpr auto CountFlushPeriod = std::chrono::seconds(60);

// The temporary files of the helper's own files in the data folder that a run killed while
// writing them left behind. Only one helper runs per data folder, so none is being written.
std::size_t removeLeftovers(const DataFolder& folder)
{
    const std::string state = folder.state().filename().string();
    const std::string marker = folder.marker().filename().string();
    return AtomicFile::removeLeftovers(
               folder.root,
               [&](std::string_view target) { return target == state || target == marker; }) +
           AtomicFile::removeLeftovers(folder.servers(), [](std::string_view target) {
               return target == ServerList::ListName || target == ServerList::SignatureName;
           });
}

} // namespace

void Controller::start(const std::optional<std::string>& restoreChannel)
{
    std::lock_guard lock(m_mutex);
    m_logs.info("start: version " + m_version + ", " +
                std::to_string(m_simulation.channels().size()) + " channels, pid " +
                std::to_string(::getpid()));
    if (const std::size_t removed = removeLeftovers(m_folder) + m_logs.tidy())
        m_logs.info("removed " + std::to_string(removed) +
                    " temporary files and old snapshots left by earlier runs");

    std::ifstream marker(m_folder.marker());
    if (std::string previous; marker && std::getline(marker, previous)) {
        m_logs.warning("the previous run (pid " + previous + ") did not stop cleanly");
        m_logs.snapshot("unclean_exit", {{"previous_pid", previous}});
    }
    AtomicFile::write(m_folder.marker(), std::to_string(::getpid()) + "\n", 0600);

    StateStore::Loaded loaded = m_store.load();
    if (loaded.problem) {
        m_logs.warning("saved state unusable, starting from defaults: " + *loaded.problem);
        m_logs.snapshot("corrupt_state",
                        {{"file", m_store.file().string()}, {"problem", *loaded.problem}});
    } else if (!loaded.found) {
        m_logs.info("no saved state, starting from defaults");
    }
    m_settings = loaded.settings;
    if (!m_settings.appliedChannels.empty() &&
        m_simulation.replaceChannels(m_settings.appliedChannels))
        m_logs.info("serving the applied server list: " +
                    std::to_string(m_settings.appliedChannels.size()) + " channels");
    if (auto last = channelNamed(m_settings.lastChannel))
        m_simulation.select(*last);
    if (m_scenario.helperMissing || m_scenario.stallAfter || !m_scenario.message.empty() ||
        !m_scenario.refusals.empty() || !m_scenario.delays.empty() || m_scenario.exportFailure ||
        m_scenario.keychainError || m_scenario.pendingCredentials || m_scenario.mailUnavailable)
        m_logs.info("scenario in force (OVRIN_SIM_SCENARIO)");

    const TimePoint now = m_clock();
    // A connection saved for an update is used by this start only, whatever it does.
    const std::string resume = std::exchange(m_settings.resumeChannel, {});
    if (!resume.empty())
        persistLocked();
    if (restoreChannel) {
        if (auto index = channelNamed(*restoreChannel))
            connectLocked(*index, now, "restored from the command line");
        else {
            m_message = "Канал «" + *restoreChannel + "» не найден, подключение не восстановлено.";
            m_logs.warning("restore: no channel named " + *restoreChannel);
        }
    } else if (auto index = channelNamed(resume)) {
        connectLocked(*index, now, "resumed after an update");
    } else if (m_settings.autoconnect) {
        connectLocked(m_simulation.automaticChoice(), now, "connect at start-up, automatic choice");
    }
    settleLocked(now);
}

void Controller::shutdown()
{
    std::lock_guard lock(m_mutex);
    m_logs.flushCounts();
    persistLocked();
    m_logs.info("stop: state saved");
    std::error_code ec;
    std::filesystem::remove(m_folder.marker(), ec);
}

void Controller::tick()
{
    std::lock_guard lock(m_mutex);
    const TimePoint now = m_clock();
    settleLocked(now);
    if (now - m_lastCountFlush >= CountFlushPeriod) {
        m_lastCountFlush = now;
        m_logs.flushCounts();
    }
}

} // namespace ovrin::helper
