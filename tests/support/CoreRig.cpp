#include "CoreRig.h"

#include "FakePorts.h"

bool CoreRig::start()
{
    helper = std::make_unique<FakeHelper>(home.socketPath());
    dialogs = FakeDialogs();
    clock = FakeClock();
    CorePorts ports = fakePorts(dialogs, loginItem, log);
    ports.clock = &clock;
    core = std::make_unique<Core>(std::move(ports));
    return helper->listening();
}

void CoreRig::stop()
{
    core.reset();
    helper.reset();
}
