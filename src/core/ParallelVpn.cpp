// The parallel-VPN scan: other VPNs connected next to ours.
#include "core/Core.h"

#include "core/MainThread.h"
#include "core/VpnList.h"
#include "platform/NetworkManagerVpns.h"

void Core::refreshParallelVPNs()
{
    if (m_vpnScanRunning)
        return;
    m_vpnScanRunning = true;
    const QPointer<Core> self(this);
    // NetworkManager's part is the client's cache as it is now; the scan
    // itself reads only the interface folder.
    NetworkManagerVpns::Snapshot vpns =
        m_ports.vpns ? m_ports.vpns->snapshot() : NetworkManagerVpns::Snapshot{};
    m_vpnQueue.start([self, vpns = std::move(vpns), own = m_ports.ownIdentifier] {
        std::optional<QStringList> names;
        if (const std::optional<QString> output = vpns.output())
            names = connectedVPNNames(*output, own);
        onMainThread([self, names] {
            if (!self)
                return;
            self->m_vpnScanRunning = false;
            if (names)
                self->setParallelVPNs(*names);
        });
    });
}
