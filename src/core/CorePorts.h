#pragma once

#include "platform/AppIdentity.h"
#include "platform/Clock.h"

#include <QPointer>
#include <QString>
#include <QStringList>

#include <optional>

class ConnectedVpns;
class DeviceIdentity;
class Dialogs;
class LoginItem;
class ModalDepth;
class SystemLog;

// Everything Core takes from its surroundings. Production wires the real
// services in one place; tests pass fakes. The pointers are not owned and
// must outlive the Core.
struct CorePorts {
    Dialogs* dialogs = nullptr;
    LoginItem* loginItem = nullptr;
    SystemLog* systemLog = nullptr;
    // Raised while an alert, a panel or a menu is open; Core's ticks wait.
    ModalDepth* modal = nullptr;
    // How this computer introduces itself to the center.
    const DeviceIdentity* device = nullptr;
    // The connected VPNs for the parallel-VPN scan, held weakly: without it
    // the scan finds none.
    QPointer<ConnectedVpns> vpns = {};
    // Holds "helper", "channels.json" and "netcore"; without it launch()
    // starts nothing.
    std::optional<QString> resourceFolder;
    // The application's own command line, the program name included.
    QStringList arguments;
    // The provider the parallel-VPN scan leaves out.
    std::optional<QString> ownIdentifier = AppIdentity::bundleIdentifier();
    // Local time (the suggested archive name, the cabinet's time left) and
    // the monotonic scale of the pairing deadlines.
    const Clock* clock = &Clock::system();
};
