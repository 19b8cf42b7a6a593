#include "common/AtomicFile.h"

#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ovrin::helper {

namespace {

std::error_code lastError()
{
    return {errno, std::generic_category()};
}

std::error_code writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? lastError() : std::make_error_code(std::errc::io_error);
        bytes.remove_prefix(std::size_t(written));
    }
    return {};
}

// The part mkstemp() fills in.
constexpr std::size_t UniqueLength = 6;

} // namespace

std::error_code AtomicFile::write(const std::filesystem::path& target, std::string_view bytes,
                                  mode_t mode)
{
    if (target.filename().empty())
        return std::make_error_code(std::errc::is_a_directory);
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    std::string pattern =
        (folder / ("." + target.filename().string() + "." + std::string(UniqueLength, 'X')))
            .string();
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return lastError();

    std::error_code error = writeAll(fd, bytes);
    if (!error && ::fchmod(fd, mode) != 0)
        error = lastError();
    if (!error && ::fsync(fd) != 0)
        error = lastError();
    if (::close(fd) != 0 && !error)
        error = lastError();
    if (!error && ::rename(pattern.c_str(), target.c_str()) != 0)
        error = lastError();
    if (error) {
        ::unlink(pattern.c_str());
        return error;
    }
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

std::optional<std::string_view> AtomicFile::targetOf(std::string_view name)
{
    if (name.size() < 1 + 1 + 1 + UniqueLength || name.front() != '.' ||
        name[name.size() - UniqueLength - 1] != '.')
        return std::nullopt;
    for (const char c : name.substr(name.size() - UniqueLength))
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return std::nullopt;
    return name.substr(1, name.size() - UniqueLength - 2);
}

std::size_t AtomicFile::removeLeftovers(const std::filesystem::path& folder,
                                        const std::function<bool(std::string_view)>& ours)
{
    std::size_t removed = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::optional<std::string_view> target = targetOf(name);
        // symlink_status: a link is never one of ours, whatever it points to.
        std::error_code kind;
        if (target && ours(*target) &&
            it->symlink_status(kind).type() == std::filesystem::file_type::regular &&
            ::unlink(it->path().c_str()) == 0)
            ++removed;
    }
    return removed;
}

} // namespace ovrin::helper
