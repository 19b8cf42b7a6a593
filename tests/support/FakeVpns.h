#pragma once

#include "platform/NetworkManagerVpns.h"

#include <QTemporaryDir>

#include <memory>

// The parallel-VPN port with no bus, over a temporary folder standing in for
// /sys/class/net: the tunnels listed here are what a scan finds.
class FakeVpns {
public:
    FakeVpns();

    bool isValid() const { return m_dir.isValid(); }
    QString folder() const { return m_dir.path(); }
    NetworkManagerVpns* port() const { return m_port.get(); }

    // From now on a scan finds tun interfaces of these names, and no others.
    bool list(const QStringList& names);

private:
    QTemporaryDir m_dir;
    std::unique_ptr<NetworkManagerVpns> m_port;
};
