#pragma once

#include "platform/ConnectedVpns.h"

#include <QDBusConnection>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

class QDBusMessage;

// The connected VPNs, as lines of the network tool's form
//     * (Connected) <id> VPN (<provider>) "<name>"
// from two sources:
//  - NetworkManager's activated VPN and WireGuard connections, read over
//    its D-Bus API and kept current from its PropertiesChanged signals (id:
//    the connection's UUID; provider: the VPN plugin's service type, else
//    the connection type; name: the connection's name);
//  - WireGuard and tun/tap interfaces under the interface folder
//    (/sys/class/net), which tunnels started without NetworkManager leave
//    (id, name: the interface; provider: "wireguard" or "tun").
// Reading the lines starts no process and asks the bus nothing: the scan
// takes a snapshot on the main thread and reads the folder itself.
// NetworkManager is never started for this (no bus activation); while it is
// not on the bus it contributes no lines.
class NetworkManagerVpns : public ConnectedVpns {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NetworkManagerVpns)

public:
    // What one scan reads: NetworkManager's part as the client held it when
    // the scan started, and the interface folder.
    struct Snapshot {
        QStringList managed;
        // Interfaces of NetworkManager's WireGuard connections, listed
        // under their connection's name already.
        QStringList managedInterfaces;
        // Empty: no interfaces are read.
        QString interfaceFolder;

        // Any thread; blocking (reads the folder). Every line, joined with
        // line feeds; nothing when the folder cannot be read.
        std::optional<QString> output() const;
    };

    // Without a connected bus only the folder is read.
    explicit NetworkManagerVpns(QDBusConnection bus = QDBusConnection::systemBus(),
                                QString interfaceFolder = QStringLiteral("/sys/class/net"),
                                QObject* parent = nullptr);

    // Main thread.
    Snapshot snapshot() const;
    // This snapshot's output.
    Reading reading() const override;

private Q_SLOTS:
    void managerChanged(const QString& interface, const QVariantMap& changed,
                        const QStringList& invalidated);
    void connectionChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated);

private:
    struct Reading;

    void read();
    void readConnection(const std::shared_ptr<Reading>& reading, const QString& path);
    void finish(const Reading& reading);
    void forget();
    void ask(const QDBusMessage& message, std::function<void(const QDBusMessage&)> done);

    QDBusConnection m_bus;
    QString m_folder;
    QStringList m_lines;
    QStringList m_interfaces;
    // Each reading has a number; replies to an older one are dropped.
    quint64 m_reading = 0;
    // Signals of one burst lead to one reading.
    QTimer m_readSoon;
};
