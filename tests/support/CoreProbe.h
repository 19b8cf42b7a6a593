#pragma once

// Core's test hook, and the helper's states the tests of Core's users serve.
#include "FakeHelper.h"
#include "StatusJson.h"
#include "core/Core.h"

#include <QTest>

// Core's own test hook (a friend of Core).
class CoreProbe {
public:
    // One status poll now, as the timer would start it.
    static void poll(Core& core) { core.refresh(); }
    // One parallel-VPN scan now, and whether one is running.
    static void scan(Core& core) { core.refreshParallelVPNs(); }
    static bool scanning(const Core& core) { return core.m_vpnScanRunning; }
    // True once the scan queue has nothing left to run, within `ms`.
    static bool drained(Core& core, int ms) { return core.m_vpnQueue.waitForDone(ms); }
};

// Three channels; the tunnel down, or up on `active`.
inline Status status(qint64 active = 0, bool running = false, bool verified = true,
                     bool primary = true, qint64 latency = 42)
{
    using namespace Qt::StringLiterals;
    Status s;
    s.helper = true;
    s.channels = {u"Амстердам"_s, u"Frankfurt UDP"_s, u"Хельсинки"_s};
    s.active = active;
    s.running = running;
    s.verified = verified;
    s.primary = primary;
    s.latency_ms = running ? latency : 0;
    return s;
}

// The helper answers every poll with `s` from now on: one poll now, and the
// wait until Core holds it.
inline bool serve(FakeHelper& helper, Core& core, const Status& s)
{
    helper.route("GET", "/status", FakeHelper::Reply::json(200, statusBody(s)));
    CoreProbe::poll(core);
    return QTest::qWaitFor([&] { return core.status() == s; }, 5000);
}

// `s` as `change` leaves it.
template <typename Change>
Status with(Status s, Change change)
{
    change(s);
    return s;
}
