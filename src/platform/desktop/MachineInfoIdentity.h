#pragma once

#include "platform/DeviceIdentity.h"

#include <QByteArray>

// This computer as /etc/machine-info and the host name describe it: the
// name is PRETTY_HOSTNAME, else the host name, else "Mac"; the platform
// stays "macOS". Both are read once, at construction.
class MachineInfoIdentity final : public DeviceIdentity {
public:
    MachineInfoIdentity();

    QString name() const override { return m_name; }
    QString platform() const override;

    // The name rule on given inputs (the text of machine-info and the host name).
    static QString nameFrom(const QByteArray& machineInfo, const QString& hostName);

private:
    QString m_name;
};
