#pragma once

#include <QString>

namespace AppIdentity {

// The application's own identifier: the D-Bus name of a running copy, the
// autostart entry's file name, and the provider that the parallel-VPN scan
// leaves out.
inline QString bundleIdentifier()
{
    return QStringLiteral("org.ovrin.menubarapp");
}

} // namespace AppIdentity
