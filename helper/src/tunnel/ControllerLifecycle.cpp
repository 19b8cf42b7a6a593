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
    std::lock_guard lock(mutex_);
    logs_.info("start: version " + version_ + ", " + std::to_string(simulation_.channels().size()) +
               " channels, pid " + std::to_string(::getpid()));
    if (const std::size_t removed = removeLeftovers(folder_) + logs_.tidy())
        logs_.info("removed " + std::to_string(removed) +
                   " temporary files and old snapshots left by earlier runs");

    std::ifstream marker(folder_.marker());
    if (std::string previous; marker && std::getline(marker, previous)) {
        logs_.warning("the previous run (pid " + previous + ") did not stop cleanly");
        logs_.snapshot("unclean_exit", {{"previous_pid", previous}});
    }
    AtomicFile::write(folder_.marker(), std::to_string(::getpid()) + "\n", 0600);

    StateStore::Loaded loaded = store_.load();
    if (loaded.problem) {
        logs_.warning("saved state unusable, starting from defaults: " + *loaded.problem);
        logs_.snapshot("corrupt_state",
                       {{"file", store_.file().string()}, {"problem", *loaded.problem}});
    } else if (!loaded.found) {
        logs_.info("no saved state, starting from defaults");
    }
    settings_ = loaded.settings;
    if (!settings_.appliedChannels.empty() &&
        simulation_.replaceChannels(settings_.appliedChannels))
        logs_.info("serving the applied server list: " +
                   std::to_string(settings_.appliedChannels.size()) + " channels");
    if (auto last = channelNamed(settings_.lastChannel))
        simulation_.select(*last);
    if (scenario_.helperMissing || scenario_.stallAfter || !scenario_.message.empty() ||
        !scenario_.refusals.empty() || !scenario_.delays.empty() || scenario_.exportFailure ||
        scenario_.keychainError || scenario_.pendingCredentials || scenario_.mailUnavailable)
        logs_.info("scenario in force (OVRIN_SIM_SCENARIO)");

    const TimePoint now = clock_();
    // A connection saved for an update is used by this start only, whatever it does.
    const std::string resume = std::exchange(settings_.resumeChannel, {});
    if (!resume.empty())
        persistLocked();
    if (restoreChannel) {
        if (auto index = channelNamed(*restoreChannel))
            connectLocked(*index, now, "restored from the command line");
        else {
            message_ = "Канал «" + *restoreChannel + "» не найден, подключение не восстановлено.";
            logs_.warning("restore: no channel named " + *restoreChannel);
        }
    } else if (auto index = channelNamed(resume)) {
        connectLocked(*index, now, "resumed after an update");
    } else if (settings_.autoconnect) {
        connectLocked(simulation_.automaticChoice(), now, "connect at start-up, automatic choice");
    }
    settleLocked(now);
}

void Controller::shutdown()
{
    std::lock_guard lock(mutex_);
    logs_.flushCounts();
    persistLocked();
    logs_.info("stop: state saved");
    std::error_code ec;
    std::filesystem::remove(folder_.marker(), ec);
}

void Controller::tick()
{
    std::lock_guard lock(mutex_);
    const TimePoint now = clock_();
    settleLocked(now);
    if (now - lastCountFlush_ >= CountFlushPeriod) {
        lastCountFlush_ = now;
        logs_.flushCounts();
    }
}

} // namespace ovrin::helper
