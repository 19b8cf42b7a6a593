#pragma once

#include "platform/DeviceIdentity.h"

// A computer whose name no real machine has, so that a request carrying it
// shows that it came from the port.
class FakeDeviceIdentity final : public DeviceIdentity {
public:
    QString name() const override;
    QString platform() const override;
};
