#include "tunnel/Logs.h"

#include "common/AtomicFile.h"
#include "common/ErrorText.h"
#include "common/NameScan.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

namespace ovrin::helper {

namespace {

std::string utcStamp(std::chrono::system_clock::time_point when, bool compact)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[32];
    if (compact) {
        std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
        return text;
    }
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() %
        1000;
    char withMillis[48];
    std::snprintf(withMillis, sizeof withMillis, "%s.%03dZ", text, int(millis));
    return withMillis;
}

std::optional<Logs::File> readFile(const std::filesystem::path& path, std::string name)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    struct stat info {};
    const std::time_t modified = ::stat(path.c_str(), &info) == 0 ? info.st_mtime : 0;
    return Logs::File{std::move(name), bytes.str(), modified};
}

} // namespace

Logs::Logs(std::filesystem::path folder, std::uintmax_t rotateBytes)
    : m_folder(std::move(folder))
    , m_rotateBytes(rotateBytes)
{
    std::lock_guard lock(m_mutex);
    openLocked();
}

Logs::~Logs()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::filesystem::path Logs::generation(int n) const
{
    return n == 0 ? current() : m_folder / ("helper.log." + std::to_string(n));
}

void Logs::openLocked()
{
    if (m_fd >= 0)
        ::close(m_fd);
    std::error_code ec;
    std::filesystem::create_directories(crashes(), ec);
    ::chmod(m_folder.c_str(), 0700);
    m_fd = ::open(current().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    struct stat info {};
    m_size = m_fd >= 0 && ::fstat(m_fd, &info) == 0 ? std::uintmax_t(info.st_size) : 0;
}

void Logs::rotateLocked()
{
    std::error_code ec;
    for (int n = Generations - 1; n >= 0; --n)
        std::filesystem::rename(generation(n), generation(n + 1), ec);
    openLocked();
}

void Logs::writeLocked(std::string_view level, std::string_view line)
{
    std::string text = utcStamp(std::chrono::system_clock::now(), false);
    text += ' ';
    text += level;
    text += ' ';
    for (char c : line)
        text += (c == '\n' || c == '\r') ? ' ' : c;
    m_tail.push_back(text);
    if (m_tail.size() > TailLines)
        m_tail.pop_front();
    text += '\n';

    if (m_fd >= 0 && m_size > 0 && m_size + text.size() > m_rotateBytes)
        rotateLocked();
    if (m_fd >= 0 && ::write(m_fd, text.data(), text.size()) == ssize_t(text.size())) {
        m_size += text.size();
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stderr);
}

void Logs::info(std::string_view line)
{
    std::lock_guard lock(m_mutex);
    writeLocked("INFO", line);
}

void Logs::warning(std::string_view line)
{
    std::lock_guard lock(m_mutex);
    writeLocked("WARN", line);
}

void Logs::count(const std::string& request)
{
    std::lock_guard lock(m_mutex);
    ++m_counts[request];
}

void Logs::flushCounts()
{
    std::lock_guard lock(m_mutex);
    if (m_counts.empty())
        return;
    std::string line = "requests:";
    for (const auto& [request, times] : m_counts)
        line += " " + request + " x" + std::to_string(times) + ",";
    line.pop_back();
    m_counts.clear();
    writeLocked("INFO", line);
}

std::filesystem::path Logs::snapshot(std::string_view event, const nlohmann::json& details)
{
    std::lock_guard lock(m_mutex);
    const auto now = std::chrono::system_clock::now();
    const std::string name = "crash-" + utcStamp(now, true) + "-" + std::to_string(::getpid()) +
                             "-" + std::to_string(++m_snapshots) + ".json";
    nlohmann::ordered_json document = {
        {"event", event},     {"time", utcStamp(now, false)}, {"pid", ::getpid()},
        {"details", details}, {"log_tail", m_tail},
    };
    const std::filesystem::path path = crashes() / name;
    std::error_code ec;
    std::filesystem::create_directories(crashes(), ec);
    ec = AtomicFile::write(
        path, document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace), 0600);
    if (ec) {
        writeLocked("WARN",
                    "crash snapshot for " + std::string(event) + " not written: " + ec.message());
        return {};
    }
    writeLocked("WARN", "crash snapshot " + name + ": " + std::string(event));
    pruneSnapshotsLocked();
    return path;
}

bool Logs::isSnapshotName(std::string_view name)
{
    NameScan scan(name);
    return scan.literal("crash-") && scan.digits(8, 8) && scan.literal("T") && scan.digits(6, 6) &&
           scan.literal("Z-") && scan.digits(1) && scan.literal("-") && scan.digits(1) &&
           scan.literal(".json") && scan.done();
}

std::size_t Logs::pruneSnapshotsLocked()
{
    struct Snapshot {
        std::filesystem::path path;
        timespec modified;
    };
    std::vector<Snapshot> snapshots;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(crashes(), ec), end; !ec && it != end;
         it.increment(ec)) {
        struct stat info {};
        if (isSnapshotName(it->path().filename().string()) &&
            ::lstat(it->path().c_str(), &info) == 0 && S_ISREG(info.st_mode))
            snapshots.push_back({it->path(), info.st_mtim});
    }
    if (snapshots.size() <= KeptSnapshots)
        return 0;
    // Newest first; the name decides between snapshots of the same instant.
    std::sort(snapshots.begin(), snapshots.end(), [](const Snapshot& a, const Snapshot& b) {
        if (a.modified.tv_sec != b.modified.tv_sec)
            return a.modified.tv_sec > b.modified.tv_sec;
        if (a.modified.tv_nsec != b.modified.tv_nsec)
            return a.modified.tv_nsec > b.modified.tv_nsec;
        return a.path > b.path;
    });
    std::size_t removed = 0;
    for (std::size_t i = KeptSnapshots; i < snapshots.size(); ++i)
        if (::unlink(snapshots[i].path.c_str()) == 0)
            ++removed;
    return removed;
}

std::size_t Logs::tidy()
{
    std::lock_guard lock(m_mutex);
    const std::size_t leftovers = AtomicFile::removeLeftovers(
        crashes(), [](std::string_view target) { return isSnapshotName(target); });
    return leftovers + pruneSnapshotsLocked();
}

std::vector<Logs::File> Logs::collect() const
{
    std::lock_guard lock(m_mutex);
    std::vector<File> files;
    for (int n = Generations; n >= 0; --n) {
        const std::filesystem::path path = generation(n);
        if (auto file = readFile(path, "logs/" + path.filename().string()))
            files.push_back(std::move(*file));
    }
    std::vector<std::filesystem::path> snapshots;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(crashes(), ec))
        if (entry.is_regular_file(ec))
            snapshots.push_back(entry.path());
    std::sort(snapshots.begin(), snapshots.end());
    for (const auto& path : snapshots)
        if (auto file = readFile(path, "crashes/" + path.filename().string()))
            files.push_back(std::move(*file));
    return files;
}

std::vector<std::string> Logs::clear()
{
    std::lock_guard lock(m_mutex);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;

    std::vector<std::filesystem::path> doomed;
    for (int n = 0; n <= Generations; ++n)
        doomed.push_back(generation(n));
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(crashes(), ec))
        doomed.push_back(entry.path());

    std::vector<std::string> failures;
    for (const auto& path : doomed) {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT)
            failures.push_back("«" + path.filename().string() +
                               "»: " + ErrorText::describe({errno, std::generic_category()}));
    }
    m_tail.clear();
    openLocked();
    writeLocked("INFO", failures.empty()
                            ? "logs cleared"
                            : "logs cleared, " + std::to_string(failures.size()) + " files left");
    return failures;
}

} // namespace ovrin::helper
