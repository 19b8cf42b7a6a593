#pragma once

#include <filesystem>
#include <string_view>
#include <system_error>

#include <sys/types.h>

namespace ovrin::helper {

// Replaces `target` with `bytes` all at once: a temporary file next to it is written, synced
// and renamed over the target. On failure the target is untouched and no temporary file stays.
struct AtomicFile {
    static std::error_code write(const std::filesystem::path& target, std::string_view bytes,
                                 mode_t mode);
};

} // namespace ovrin::helper
