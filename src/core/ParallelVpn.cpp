// The parallel-VPN scan: other VPNs connected next to ours.
#include "core/Core.h"

#include "core/MainThread.h"
#include "core/VpnList.h"

using namespace std::chrono_literals;

void Core::refreshParallelVPNs()
{
    if (m_vpnScanRunning)
        return;
    m_vpnScanRunning = true;
    const QPointer<Core> self(this);
    m_vpnQueue.start([self, tool = m_ports.vpnTool, own = m_ports.ownIdentifier] {
        std::optional<QStringList> names;
        if (const std::optional<QByteArray> output = tool.run(2s))
            names = connectedVPNNames(vpnLinesFromNmcli(QString::fromUtf8(*output)), own);
        onMainThread([self, names] {
            if (!self)
                return;
            self->m_vpnScanRunning = false;
            if (names)
                self->setParallelVPNs(*names);
        });
    });
}
