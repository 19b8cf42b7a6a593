// The parallel-VPN scan: other VPNs connected next to ours.
#include "core/Core.h"

#include "core/MainThread.h"
#include "core/VpnList.h"
#include "platform/ConnectedVpns.h"

void Core::refreshParallelVPNs()
{
    if (m_vpnScanRunning)
        return;
    m_vpnScanRunning = true;
    const QPointer<Core> self(this);
    // Without a source no VPN is connected.
    ConnectedVpns::Reading read = m_ports.vpns ? m_ports.vpns->reading() : ConnectedVpns::Reading();
    m_vpnQueue.start([self, read = std::move(read), own = m_ports.ownIdentifier] {
        std::optional<QStringList> names;
        if (const std::optional<QString> output = read ? read() : std::optional(QString()))
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
