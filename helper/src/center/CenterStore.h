#pragma once

#include "center/CenterClock.h"
#include "common/DataFolder.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace ovrin::helper {

// The center's folder: "center.json", the one document of accounts, devices, challenges and
// pairing, read and written only under an exclusive flock on "center.lock" and replaced
// atomically; "outbox/" for the letters; "clock-offset" for the clock. Helpers on different
// HOMEs that name the same folder share one center.
class CenterStore {
public:
    static constexpr const char* EnvironmentVariable = "OVRIN_CENTER_DIR";
    static constexpr std::uintmax_t DocumentLimit = 16 * 1024 * 1024;

    explicit CenterStore(std::filesystem::path folder, CenterClock::Wall wall = {});

    // $OVRIN_CENTER_DIR when set, else "center" in the data folder.
    static std::filesystem::path folderFor(const DataFolder& data);

    const std::filesystem::path& folder() const { return m_folder; }
    std::filesystem::path document() const { return m_folder / "center.json"; }
    std::filesystem::path lockFile() const { return m_folder / "center.lock"; }
    std::filesystem::path outbox() const { return m_folder / "outbox"; }
    std::filesystem::path clockOffset() const { return m_folder / "clock-offset"; }
    const CenterClock& clock() const { return m_clock; }

    // Runs `work` on the document (null before the first save) and the center's time, under
    // the lock, and saves the document when `work` changed it. Creates the folders on the way.
    // Nothing on success; otherwise a Russian reason, and nothing was saved. What `work`
    // throws passes through, after the lock is released, and nothing is saved.
    std::optional<std::string>
    update(const std::function<void(nlohmann::json& document, std::int64_t now)>& work) const;

    // At start: under the lock, removes the temporary files of the document and of letters
    // left by a helper killed while writing them. Returns how many went.
    std::size_t removeLeftovers() const;

private:
    std::optional<std::string> prepare() const;
    std::optional<std::string> read(nlohmann::json& document) const;

    std::filesystem::path m_folder;
    CenterClock m_clock;
};

} // namespace ovrin::helper
