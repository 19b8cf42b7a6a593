#pragma once

#include "core/CorePorts.h"

class FakeDialogs;
class LoginItem;
class SystemLog;

// The ports of a Core under test: the given fakes, the dialogs' modal depth,
// a FakeDeviceIdentity, no VPN source (a scan finds none), no resource
// folder (nothing is launched).
CorePorts fakePorts(FakeDialogs& dialogs, LoginItem& loginItem, SystemLog& log);
