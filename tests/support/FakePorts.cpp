#include "FakePorts.h"

#include "FakeDialogs.h"

CorePorts fakePorts(FakeDialogs& dialogs, LoginItem& loginItem, SystemLog& log)
{
    CorePorts ports;
    ports.dialogs = &dialogs;
    ports.modal = &dialogs.modal;
    ports.loginItem = &loginItem;
    ports.systemLog = &log;
    return ports;
}
