#include "common/DataFolder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ovrin::helper {

std::optional<std::filesystem::path> DataFolder::home()
{
    if (const char* value = std::getenv("HOME"); value != nullptr && *value != '\0')
        return std::filesystem::path(value);
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
        return std::filesystem::path(entry->pw_dir);
    return std::nullopt;
}

DataFolder DataFolder::forHome(const std::filesystem::path& home)
{
    return DataFolder{home / "Library" / "Application Support" / "Ovrin"};
}

bool DataFolder::create(std::string& error) const
{
    std::filesystem::path built;
    for (const auto& part : root) {
        built /= part;
        if (::mkdir(built.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "cannot create " + built.string() + ": " + std::strerror(errno);
            return false;
        }
    }
    if (::chmod(root.c_str(), 0700) != 0) {
        error = "cannot restrict " + root.string() + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::stat(root.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = root.string() + " is not a folder";
        return false;
    }
    return true;
}

} // namespace ovrin::helper
