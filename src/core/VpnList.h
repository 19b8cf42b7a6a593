#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The names of the connected VPN services in the network tool's list, lines
// of the form
//     * (Connected) <service id> VPN (<provider>) "<name>"
// leaving out those whose provider is `ownIdentifier`. Without duplicates,
// sorted by character code. Pure; any thread.
QStringList connectedVPNNames(const QString& output, const std::optional<QString>& ownIdentifier);
