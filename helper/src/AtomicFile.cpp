#include "AtomicFile.h"

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

} // namespace

std::error_code AtomicFile::write(const std::filesystem::path& target, std::string_view bytes,
                                  mode_t mode)
{
    if (target.filename().empty())
        return std::make_error_code(std::errc::is_a_directory);
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
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

} // namespace ovrin::helper
