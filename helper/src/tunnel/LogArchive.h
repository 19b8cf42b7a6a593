#pragma once

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ovrin::helper {

// The zip archive /export writes: built in memory with libzip, then published atomically,
// so a failed export leaves nothing at the destination.
class LogArchive {
public:
    struct Entry {
        std::string name;
        std::string bytes;
        std::time_t modified = 0;
    };

    // Empty on success; otherwise the reason in Russian, ready for a reply body.
    static std::optional<std::string> write(const std::filesystem::path& target,
                                            const std::vector<Entry>& entries);
    // The archive's bytes, or nothing when libzip fails (the reason goes to `error`).
    static std::optional<std::string> build(const std::vector<Entry>& entries, std::string& error);
};

} // namespace ovrin::helper
