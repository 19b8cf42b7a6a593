#include "CoreRig.h"

#include "FakePorts.h"

bool CoreRig::start()
{
    helper = std::make_unique<FakeHelper>(home.socketPath());
    dialogs = FakeDialogs();
    core = std::make_unique<Core>(fakePorts(dialogs, loginItem, log));
    return helper->listening();
}

void CoreRig::stop()
{
    core.reset();
    helper.reset();
}
