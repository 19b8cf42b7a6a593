#pragma once

#include "common/Identity.h"
#include "tunnel/ChannelProfile.h"

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace ovrin::helper {

// What the helper keeps between runs.
struct Settings {
    bool installed = false;    // the privileged part is installed
    bool autoconnect = false;  // connect at start-up
    bool protection = false;   // strict protection
    std::string lastChannel;   // the channel `active` shows at the next start
    std::string resumeChannel; // saved for an update: connected once at the next start
    Identity session;          // this helper's sign-in at the center; empty when signed out
    // The channels of the server list applied at the center's word (/account/apply), served
    // instead of channels.json; empty when none was applied.
    std::vector<ChannelProfile> appliedChannels;

    bool operator==(const Settings&) const = default;
};

// helper-state.json in the data folder, saved atomically.
class StateStore {
public:
    explicit StateStore(std::filesystem::path file);

    struct Loaded {
        Settings settings;
        bool found = false;
        // Set when the file exists but cannot be used; the defaults are in `settings` then.
        std::optional<std::string> problem;
    };

    Loaded load() const;
    std::error_code save(const Settings& settings) const;
    const std::filesystem::path& file() const { return m_file; }

private:
    std::filesystem::path m_file;
};

} // namespace ovrin::helper
