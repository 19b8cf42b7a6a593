#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QMap>
#include <QVariantMap>

// NetworkManager on the test session bus, on a connection of its own, so
// that calls and signals pass through the bus daemon as they do from the
// real one: the manager's ActiveConnections, an object per active
// connection, the settings object each points at, and the PropertiesChanged
// signals NetworkManager sends when the list or a state changes.
class FakeNetworkManager final : public QDBusVirtualObject {
    Q_OBJECT

public:
    struct Connection {
        QString id = {};
        QString type = {};          // "vpn", "wireguard", "802-3-ethernet", …
        uint state = 2;             // activated
        QString serviceType = {};   // a VPN plugin's, in the settings
        QString interfaceName = {}; // in the settings
    };

    FakeNetworkManager();
    ~FakeNetworkManager() override;

    // Owns the name and serves the objects.
    bool isServing() const { return m_serving; }
    // Activates `connection`; the path of its active connection.
    QString add(const Connection& connection);
    void setState(const QString& path, uint state);
    void remove(const QString& path);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    QVariantMap managerProperties() const;
    QVariantMap activeProperties(int number) const;
    void propertiesChanged(const QString& path, const QString& interface,
                           const QVariantMap& changed);

    QDBusConnection m_bus;
    QMap<int, Connection> m_active;
    int m_next = 1;
    bool m_serving = false;
};
