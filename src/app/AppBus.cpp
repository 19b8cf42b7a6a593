#include "app/AppBus.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QThread>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int callTimeoutMs = 5000;
// How long a second launch waits for a copy that holds the lock but has not
// finished launching yet.
constexpr int launchingGraceMs = 5000;

// org.freedesktop.Application, forwarded to the owning AppBus.
class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    explicit ApplicationAdaptor(AppBus* owner)
        : QDBusAbstractAdaptor(owner)
        , m_owner(owner)
    {}

public Q_SLOTS:
    void Activate(const QVariantMap&) { Q_EMIT m_owner->activateRequested(); }
    void Open(const QStringList& uris, const QVariantMap&)
    {
        Q_EMIT m_owner->linksReceived(uris);
        Q_EMIT m_owner->activateRequested();
    }
    void ActivateAction(const QString&, const QVariantList&, const QVariantMap&)
    {
        Q_EMIT m_owner->activateRequested();
    }

private:
    AppBus* m_owner;
};

// The process that owns our name now, when it is another process.
bool ownedByAnotherProcess(QDBusConnectionInterface* bus)
{
    const QDBusReply<bool> registered = bus->isServiceRegistered(AppBus::serviceName);
    if (!registered.isValid() || !registered.value())
        return false;
    const QDBusReply<uint> pid = bus->servicePid(AppBus::serviceName);
    return pid.isValid() && pid.value() != uint(::getpid());
}

} // namespace

AppBus::AppBus(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
{}

AppBus::~AppBus()
{
    if (m_published) {
        m_bus.unregisterService(serviceName);
        m_bus.unregisterObject(objectPath);
    }
}

bool AppBus::publish()
{
    if (m_published)
        return true;
    if (!m_bus.isConnected())
        return false;
    new ApplicationAdaptor(this);
    if (!m_bus.registerObject(objectPath, this))
        return false;
    if (!m_bus.registerService(serviceName)) {
        m_bus.unregisterObject(objectPath);
        return false;
    }
    m_published = true;
    return true;
}

bool AppBus::activateRunning(const QStringList& links, Search search, QDBusConnection bus)
{
    if (!bus.isConnected() || !bus.interface())
        return false;
    const QDeadlineTimer deadline(search == Search::Any ? launchingGraceMs : 0);
    while (!ownedByAnotherProcess(bus.interface())) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(serviceName, objectPath, u"org.freedesktop.Application"_s,
                                       links.isEmpty() ? u"Activate"_s : u"Open"_s);
    if (links.isEmpty())
        call << QVariantMap();
    else
        call << links << QVariantMap();
    const QDBusMessage reply = bus.call(call, QDBus::Block, callTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

#include "AppBus.moc"
