#pragma once

#include <QByteArray>
#include <QString>

// How this computer introduces itself to the center, the same everywhere
// (e-mail sign-in, link sign-in, pairing). The platform label stays "macOS"
// and a computer without a name is "Mac": the center relies on both.
namespace DeviceIdentity {

inline QString platform()
{
    return QStringLiteral("macOS");
}

// The computer's user-visible name: PRETTY_HOSTNAME of /etc/machine-info,
// else the host name, else "Mac". Read once; callable from any thread.
QString name();

// The rule above on given inputs (the text of machine-info and the host name).
QString nameFrom(const QByteArray& machineInfo, const QString& hostName);

} // namespace DeviceIdentity
