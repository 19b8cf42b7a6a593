#include "platform/desktop/NetworkManagerVpns.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QFile>
#include <QMap>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString service = u"org.freedesktop.NetworkManager"_s;
const QString managerPath = u"/org/freedesktop/NetworkManager"_s;
const QString managerInterface = u"org.freedesktop.NetworkManager"_s;
const QString activeInterface = u"org.freedesktop.NetworkManager.Connection.Active"_s;
const QString settingsInterface = u"org.freedesktop.NetworkManager.Settings.Connection"_s;
const QString propertiesInterface = u"org.freedesktop.DBus.Properties"_s;

// NM_ACTIVE_CONNECTION_STATE_ACTIVATED
constexpr uint activated = 2;

bool isLineBreak(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x0a && u <= 0x0d) || u == 0x85 || u == 0x2028 || u == 0x2029;
}

// `text` with every character that `breaks` the line's pattern (and every
// line break) replaced by `stand`.
QString fitted(QString text, bool (*breaks)(QChar), QChar stand)
{
    for (QChar& c : text) {
        if (isLineBreak(c) || breaks(c))
            c = stand;
    }
    return text;
}

// One line of the tool's form. The parser reads the id up to white space,
// the provider up to ")" and the name up to the next double quote.
QString toolLine(const QString& id, const QString& provider, const QString& name)
{
    return u"* (Connected) "_s +
           fitted(
               id, [](QChar c) { return c.isSpace(); }, u'_') +
           u" VPN ("_s +
           fitted(
               provider, [](QChar c) { return c == u')'; }, u'_') +
           u") \""_s +
           fitted(
               name, [](QChar c) { return c == u'"'; }, u'\'') +
           u'"';
}

// A small file under `folder` (a sysfs attribute) in one read; empty when
// it cannot be read. The scan runs every few seconds: plain system calls,
// no stat of every entry.
QByteArray attribute(int folder, const QByteArray& path)
{
    const int fd = ::openat(folder, path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    return n > 0 ? QByteArray(buffer, n) : QByteArray();
}

// A line per WireGuard or tun/tap interface in `folder` (/sys/class/net)
// other than `skipped`; nothing when the folder cannot be read.
std::optional<QStringList> tunnelLines(const QString& folder, const QStringList& skipped)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(QFile::encodeName(folder).constData()),
                                                  &::closedir);
    if (!dir)
        return std::nullopt;
    const int fd = ::dirfd(dir.get());
    QStringList lines;
    while (const dirent* entry = ::readdir(dir.get())) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const QString interface = QFile::decodeName(name);
        // Our helper's own tunnel interfaces are named "ovrin…": not parallel.
        if (skipped.contains(interface) || name.startsWith("ovrin"))
            continue;
        if (::faccessat(fd, QByteArray(name + "/tun_flags").constData(), F_OK, 0) == 0) {
            lines << toolLine(interface, u"tun"_s, interface);
        } else if (attribute(fd, name + "/type").trimmed() == "65534" && // ARPHRD_NONE
                   attribute(fd, name + "/uevent").split('\n').contains("DEVTYPE=wireguard")) {
            lines << toolLine(interface, u"wireguard"_s, interface);
        }
    }
    return lines;
}

QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                  const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    // Asking must not start NetworkManager.
    message.setAutoStartService(false);
    return message;
}

QVariant firstArgument(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst();
}

} // namespace

// One reading of the active connections: the replies still awaited and the
// VPNs found so far, by active-connection path.
struct NetworkManagerVpns::Reading {
    struct Found {
        QString line;
        QString interface;
    };
    quint64 number = 0;
    int pending = 0;
    QMap<QString, Found> found;
};

std::optional<QString> NetworkManagerVpns::Snapshot::output() const
{
    QStringList lines = managed;
    if (!interfaceFolder.isEmpty()) {
        const std::optional<QStringList> tunnels = tunnelLines(interfaceFolder, managedInterfaces);
        if (!tunnels)
            return std::nullopt;
        lines += *tunnels;
    }
    return lines.join(u'\n');
}

NetworkManagerVpns::NetworkManagerVpns(QDBusConnection bus, QString interfaceFolder,
                                       QObject* parent)
    : ConnectedVpns(parent)
    , m_bus(std::move(bus))
    , m_folder(std::move(interfaceFolder))
{
    m_readSoon.setSingleShot(true);
    m_readSoon.setInterval(0);
    connect(&m_readSoon, &QTimer::timeout, this, &NetworkManagerVpns::read);
    if (!m_bus.isConnected())
        return;
    auto* owner =
        new QDBusServiceWatcher(service, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(owner, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                if (newOwner.isEmpty())
                    forget();
                else
                    m_readSoon.start();
            });
    // The connections' signals come from objects that come and go: one
    // match for every path, narrowed to the active-connection interface.
    m_bus.connect(service, managerPath, propertiesInterface, u"PropertiesChanged"_s,
                  {managerInterface}, QString(), this,
                  SLOT(managerChanged(QString, QVariantMap, QStringList)));
    m_bus.connect(service, QString(), propertiesInterface, u"PropertiesChanged"_s,
                  {activeInterface}, QString(), this,
                  SLOT(connectionChanged(QString, QVariantMap, QStringList)));
    m_readSoon.start();
}

NetworkManagerVpns::Snapshot NetworkManagerVpns::snapshot() const
{
    return {m_lines, m_interfaces, m_folder};
}

ConnectedVpns::Reading NetworkManagerVpns::reading() const
{
    return [snapshot = snapshot()] { return snapshot.output(); };
}

void NetworkManagerVpns::managerChanged(const QString&, const QVariantMap& changed,
                                        const QStringList& invalidated)
{
    const QString key = u"ActiveConnections"_s;
    if (changed.contains(key) || invalidated.contains(key))
        m_readSoon.start();
}

void NetworkManagerVpns::connectionChanged(const QString&, const QVariantMap& changed,
                                           const QStringList& invalidated)
{
    static const QStringList used{u"State"_s, u"Type"_s, u"Vpn"_s,
                                  u"Id"_s,    u"Uuid"_s, u"Connection"_s};
    for (const QString& key : used) {
        if (changed.contains(key) || invalidated.contains(key)) {
            m_readSoon.start();
            return;
        }
    }
}

void NetworkManagerVpns::read()
{
    auto reading = std::make_shared<Reading>();
    reading->number = ++m_reading;
    ask(call(managerPath, propertiesInterface, u"Get"_s,
             {managerInterface, u"ActiveConnections"_s}),
        [this, reading](const QDBusMessage& reply) {
            if (reading->number != m_reading)
                return;
            // Not on the bus, or not answering: no VPNs of NetworkManager's.
            const QVariant paths = firstArgument(reply).value<QDBusVariant>().variant();
            for (const QDBusObjectPath& path : qdbus_cast<QList<QDBusObjectPath>>(paths))
                readConnection(reading, path.path());
            if (reading->pending == 0)
                finish(*reading);
        });
}

void NetworkManagerVpns::readConnection(const std::shared_ptr<Reading>& reading,
                                        const QString& path)
{
    ++reading->pending;
    ask(call(path, propertiesInterface, u"GetAll"_s, {activeInterface}),
        [this, reading, path](const QDBusMessage& reply) {
            if (reading->number != m_reading)
                return;
            const auto properties = qdbus_cast<QVariantMap>(firstArgument(reply));
            const QString type = properties.value(u"Type"_s).toString();
            const bool vpn =
                type == u"vpn" || type == u"wireguard" || properties.value(u"Vpn"_s).toBool();
            if (vpn && properties.value(u"State"_s).toUInt() == activated) {
                QString id = properties.value(u"Uuid"_s).toString();
                if (id.isEmpty())
                    id = path;
                const QString name = properties.value(u"Id"_s).toString();
                reading->found.insert(path, {toolLine(id, type, name), {}});
                // The plugin's service type and WireGuard's interface are
                // in the connection's settings.
                const auto settings =
                    qdbus_cast<QDBusObjectPath>(properties.value(u"Connection"_s)).path();
                if (!settings.isEmpty()) {
                    ++reading->pending;
                    ask(call(settings, settingsInterface, u"GetSettings"_s, {}),
                        [this, reading, path, id, type, name](const QDBusMessage& reply) {
                            if (reading->number != m_reading)
                                return;
                            const auto groups =
                                qdbus_cast<QMap<QString, QVariantMap>>(firstArgument(reply));
                            const QString plugin =
                                groups.value(u"vpn"_s).value(u"service-type"_s).toString();
                            Reading::Found& found = reading->found[path];
                            if (!plugin.isEmpty())
                                found.line = toolLine(id, plugin, name);
                            if (type == u"wireguard")
                                found.interface = groups.value(u"connection"_s)
                                                      .value(u"interface-name"_s)
                                                      .toString();
                            if (--reading->pending == 0)
                                finish(*reading);
                        });
                }
            }
            if (--reading->pending == 0)
                finish(*reading);
        });
}

void NetworkManagerVpns::finish(const Reading& reading)
{
    m_lines.clear();
    m_interfaces.clear();
    for (const Reading::Found& found : reading.found) {
        m_lines << found.line;
        if (!found.interface.isEmpty())
            m_interfaces << found.interface;
    }
}

void NetworkManagerVpns::forget()
{
    ++m_reading;
    m_readSoon.stop();
    m_lines.clear();
    m_interfaces.clear();
}

void NetworkManagerVpns::ask(const QDBusMessage& message,
                             std::function<void(const QDBusMessage&)> done)
{
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, done = std::move(done)] {
        watcher->deleteLater();
        done(watcher->reply());
    });
}
