#include "FakeNetworkManager.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>

using namespace Qt::StringLiterals;

namespace {

const QString service = u"org.freedesktop.NetworkManager"_s;
const QString connectionName = u"ovrin-fake-network-manager"_s;
const QString managerPath = u"/org/freedesktop/NetworkManager"_s;
const QString activePrefix = u"/org/freedesktop/NetworkManager/ActiveConnection/"_s;
const QString settingsPrefix = u"/org/freedesktop/NetworkManager/Settings/"_s;
const QString propertiesInterface = u"org.freedesktop.DBus.Properties"_s;

// The number at the end of `path` under `prefix`, or 0.
int numberIn(const QString& path, const QString& prefix)
{
    return path.startsWith(prefix) ? path.mid(prefix.size()).toInt() : 0;
}

} // namespace

FakeNetworkManager::FakeNetworkManager()
    : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName))
{
    qDBusRegisterMetaType<QList<QDBusObjectPath>>();
    qDBusRegisterMetaType<QMap<QString, QVariantMap>>();
    m_serving = m_bus.isConnected() &&
                m_bus.registerVirtualObject(managerPath, this, QDBusConnection::SubPath) &&
                m_bus.registerService(service);
}

FakeNetworkManager::~FakeNetworkManager()
{
    m_bus.unregisterService(service);
    m_bus.unregisterObject(managerPath);
    m_bus = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(connectionName);
}

QString FakeNetworkManager::add(const Connection& connection)
{
    const int number = m_next++;
    m_active.insert(number, connection);
    propertiesChanged(managerPath, service, managerProperties());
    return activePrefix + QString::number(number);
}

void FakeNetworkManager::setState(const QString& path, uint state)
{
    m_active[numberIn(path, activePrefix)].state = state;
    propertiesChanged(path, service + u".Connection.Active"_s, {{u"State"_s, state}});
}

void FakeNetworkManager::remove(const QString& path)
{
    m_active.remove(numberIn(path, activePrefix));
    propertiesChanged(managerPath, service, managerProperties());
}

QString FakeNetworkManager::introspect(const QString&) const
{
    return {};
}

bool FakeNetworkManager::handleMessage(const QDBusMessage& message,
                                       const QDBusConnection& connection)
{
    const QString path = message.path();
    const int active = numberIn(path, activePrefix);
    const int settings = numberIn(path, settingsPrefix);
    if (message.member() == u"GetSettings" && m_active.contains(settings)) {
        const Connection& c = m_active[settings];
        QMap<QString, QVariantMap> groups{
            {u"connection"_s, {{u"id"_s, c.id}, {u"type"_s, c.type}}}};
        if (!c.interfaceName.isEmpty())
            groups[u"connection"_s].insert(u"interface-name"_s, c.interfaceName);
        if (!c.serviceType.isEmpty())
            groups.insert(u"vpn"_s, {{u"service-type"_s, c.serviceType}});
        return connection.send(message.createReply(QVariant::fromValue(groups)));
    }
    QVariantMap properties;
    if (path == managerPath)
        properties = managerProperties();
    else if (m_active.contains(active))
        properties = activeProperties(active);
    if (message.interface() != propertiesInterface || properties.isEmpty())
        return connection.send(message.createErrorReply(QDBusError::UnknownObject, path));
    if (message.member() == u"GetAll")
        return connection.send(message.createReply(properties));
    const QString name = message.arguments().value(1).toString();
    return connection.send(
        message.createReply(QVariant::fromValue(QDBusVariant(properties.value(name)))));
}

QVariantMap FakeNetworkManager::managerProperties() const
{
    QList<QDBusObjectPath> paths;
    for (const int number : m_active.keys())
        paths << QDBusObjectPath(activePrefix + QString::number(number));
    return {{u"ActiveConnections"_s, QVariant::fromValue(paths)}};
}

QVariantMap FakeNetworkManager::activeProperties(int number) const
{
    const Connection& c = m_active[number];
    return {
        {u"Id"_s, c.id},
        {u"Uuid"_s, u"5f1e0000-0000-4000-8000-%1"_s.arg(number, 12, 10, QChar(u'0'))},
        {u"Type"_s, c.type},
        {u"State"_s, c.state},
        {u"Vpn"_s, c.type == u"vpn"},
        {u"Connection"_s,
         QVariant::fromValue(QDBusObjectPath(settingsPrefix + QString::number(number)))},
    };
}

void FakeNetworkManager::propertiesChanged(const QString& path, const QString& interface,
                                           const QVariantMap& changed)
{
    QDBusMessage signal =
        QDBusMessage::createSignal(path, propertiesInterface, u"PropertiesChanged"_s);
    signal << interface << changed << QStringList();
    m_bus.send(signal);
}
