#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace ovrin::helper {

// The user's data folder, "$HOME/Library/Application Support/Ovrin", and the helper's files
// in it. The application keeps its own "app.lock" there too.
struct DataFolder {
    std::filesystem::path root;

    // $HOME, or the password database's home folder when HOME is unset or empty.
    static std::optional<std::filesystem::path> home();
    static DataFolder forHome(const std::filesystem::path& home);

    std::filesystem::path socket() const { return root / "control.sock"; }
    std::filesystem::path state() const { return root / "helper-state.json"; }
    std::filesystem::path lock() const { return root / "helper.lock"; }
    // Holds the pid of a running helper; found at start it means the last run did not stop cleanly.
    std::filesystem::path marker() const { return root / "helper.pid"; }
    std::filesystem::path logs() const { return root / "logs"; }
    // The imported server list: verified copies of servers.json and servers.json.sig.
    std::filesystem::path servers() const { return root / "servers"; }

    // Creates the folders that are missing (0700) and makes the data folder itself 0700.
    bool create(std::string& error) const;
};

} // namespace ovrin::helper
