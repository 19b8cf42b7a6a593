#pragma once

#include "platform/ConnectedVpns.h"

#include <QStringList>

#include <memory>

// The parallel-VPN port with a list the test sets: a scan finds tun
// interfaces of the listed names. Its readings can be held back, to see
// what happens while a scan runs.
class FakeVpns final : public ConnectedVpns {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FakeVpns)

public:
    FakeVpns();

    // From now on a scan finds VPNs of these names, and no others.
    void list(const QStringList& names);

    // The readings of scans that start from now on wait, on the scan's
    // queue, until released.
    void hold();
    // Lets one waiting reading finish; false when none is waiting.
    bool release();

    Reading reading() const override;

private:
    struct Gate;

    QStringList m_lines;
    std::shared_ptr<Gate> m_gate;
    bool m_held = false;
};
