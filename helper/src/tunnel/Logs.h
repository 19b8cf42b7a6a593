#pragma once

#include <cstdint>
#include <ctime>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace ovrin::helper {

// The helper's own log, "logs/helper.log", rotated into helper.log.1 … .3 once it would pass
// the rotation size, and the crash snapshots in "logs/crashes". All members are thread-safe.
// When the folder cannot be written the lines go to standard error instead.
class Logs {
public:
    static constexpr std::uintmax_t RotateBytes = 1024 * 1024;
    static constexpr int Generations = 3;
    static constexpr std::size_t TailLines = 50;
    // Snapshots kept: older ones are deleted after each new one and at tidy().
    static constexpr std::size_t KeptSnapshots = 5;

    struct File {
        std::string name; // name inside an archive: "logs/…" or "crashes/…"
        std::string bytes;
        std::time_t modified = 0;
    };

    explicit Logs(std::filesystem::path folder, std::uintmax_t rotateBytes = RotateBytes);
    ~Logs();
    Logs(const Logs&) = delete;
    Logs& operator=(const Logs&) = delete;

    void info(std::string_view line);
    void warning(std::string_view line);

    // Frequent requests (the polls) are counted instead of logged one by one;
    // flushCounts() writes the counts of each request as one line and starts over.
    void count(const std::string& request);
    void flushCounts();

    // Writes one crash snapshot (the event, its details, the latest log lines) and logs it.
    // Returns the snapshot's path, or an empty path when it could not be written.
    std::filesystem::path snapshot(std::string_view event, const nlohmann::json& details);

    // At start, before anything else writes: removes the temporary files of snapshots whose
    // writing was cut short, and the snapshots beyond the newest KeptSnapshots. Returns how many
    // files went.
    std::size_t tidy();
    // "crash-20260101T120000Z-PID-N.json"
    static bool isSnapshotName(std::string_view name);

    // Every log generation, oldest first, then the snapshots.
    std::vector<File> collect() const;
    // Deletes the logs and snapshots and starts a fresh log. Returns one Russian line per file
    // that could not be deleted.
    std::vector<std::string> clear();

    std::filesystem::path current() const { return m_folder / "helper.log"; }
    std::filesystem::path crashes() const { return m_folder / "crashes"; }

private:
    void writeLocked(std::string_view level, std::string_view line);
    void openLocked();
    void rotateLocked();
    std::filesystem::path generation(int n) const;
    std::size_t pruneSnapshotsLocked();

    mutable std::mutex m_mutex;
    std::filesystem::path m_folder;
    std::uintmax_t m_rotateBytes;
    int m_fd = -1;
    std::uintmax_t m_size = 0;
    std::deque<std::string> m_tail;
    std::map<std::string, std::int64_t> m_counts;
    unsigned m_snapshots = 0;
};

} // namespace ovrin::helper
