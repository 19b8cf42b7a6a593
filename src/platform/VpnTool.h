#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

// The system tool that lists the active network connections, started with
// explicit arguments. Tests put a script in its place.
struct VpnTool {
    QString program;
    QStringList arguments;

    // NetworkManager's terse list: `nmcli -t -f NAME,UUID,TYPE connection
    // show --active`, one "NAME:UUID:TYPE" line per connection.
    static VpnTool networkManager();

    // Blocking; any thread, no event loop needed. Runs the tool with its
    // standard error discarded and no input. Its standard output when it
    // exits normally with status 0; nothing when it cannot be started,
    // fails, or is still running after `watchdog` (it is then terminated).
    std::optional<QByteArray> run(std::chrono::milliseconds watchdog) const;
};
