#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <system_error>

#include <sys/types.h>

namespace ovrin::helper {

// Replaces `target` with `bytes` all at once: a temporary file next to it is written, synced
// and renamed over the target. On failure the target is untouched and no temporary file stays.
// The temporary file is named "." + the target's name + "." + six letters or digits; a process
// killed before the rename leaves it behind.
struct AtomicFile {
    static std::error_code write(const std::filesystem::path& target, std::string_view bytes,
                                 mode_t mode);

    // The target's name when `name` is a temporary file's name, else nothing.
    static std::optional<std::string_view> targetOf(std::string_view name);
    // Removes the temporary files in `folder` (not below it) whose target name `ours` accepts.
    // Only call it while nothing else can be writing those targets. Returns how many went.
    static std::size_t removeLeftovers(const std::filesystem::path& folder,
                                       const std::function<bool(std::string_view target)>& ours);
};

} // namespace ovrin::helper
