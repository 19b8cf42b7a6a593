#include "FakePorts.h"

CorePorts fakePorts(Dialogs& dialogs, LoginItem& loginItem, SystemLog& log)
{
    CorePorts ports;
    ports.dialogs = &dialogs;
    ports.loginItem = &loginItem;
    ports.systemLog = &log;
    return ports;
}
