#pragma once

#include "FakeClock.h"
#include "FakeDialogs.h"
#include "FakeHelper.h"
#include "FakeLoginItem.h"
#include "FakeSystemLog.h"
#include "TestHome.h"
#include "core/Core.h"

#include <memory>

// A Core under test against a fake helper, with fake ports, on a temporary
// HOME. One per test program, since the socket path is read from HOME once:
// start() before each test, stop() after it.
struct CoreRig {
    TestHome home;
    std::unique_ptr<FakeHelper> helper;
    FakeDialogs dialogs;
    FakeLoginItem loginItem;
    FakeSystemLog log;
    FakeClock clock;
    std::unique_ptr<Core> core;

    // A new fake helper, listening; no alert or panel recorded; the clock
    // back at its start; a new Core.
    [[nodiscard]] bool start();
    // The Core, then the helper.
    void stop();
};
