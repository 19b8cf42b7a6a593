#include "FakePorts.h"

#include "FakeDeviceIdentity.h"
#include "FakeDialogs.h"

CorePorts fakePorts(FakeDialogs& dialogs, LoginItem& loginItem, SystemLog& log)
{
    CorePorts ports;
    ports.dialogs = &dialogs;
    ports.modal = &dialogs.modal;
    static const FakeDeviceIdentity device;
    ports.device = &device;
    ports.loginItem = &loginItem;
    ports.systemLog = &log;
    return ports;
}
