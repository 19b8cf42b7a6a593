#pragma once

#include "core/CorePorts.h"

class Dialogs;
class LoginItem;
class SystemLog;

// The ports of a Core under test: the given fakes, no VPN source (a scan
// finds none), no resource folder (nothing is launched).
CorePorts fakePorts(Dialogs& dialogs, LoginItem& loginItem, SystemLog& log);
