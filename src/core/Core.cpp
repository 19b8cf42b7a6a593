#include "core/Core.h"

#include "core/MainThread.h"
#include "link/HelperSocket.h"
#include "platform/LoginItem.h"
#include "platform/ModalDepth.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace {

constexpr int statusPeriodMs = 1000;
constexpr int scanPeriodMs = 3000;
constexpr double statusTimeoutSeconds = 5;
constexpr int helperExitWaitMs = 2000;
// Until the first status arrives: the helper needs a moment to listen.
constexpr int firstPollPeriodMs = 100;
constexpr int firstPollLimitMs = 10000;

} // namespace

Core::Core(CorePorts ports, QObject* parent)
    : QObject(parent)
    , m_ports(std::move(ports))
    , m_updates(*m_ports.dialogs)
{
    Q_ASSERT(m_ports.dialogs && m_ports.loginItem && m_ports.systemLog && m_ports.modal &&
             m_ports.device);
    m_vpnQueue.setObjectName(u"ovrin.parallel-vpn"_s);
    m_vpnQueue.setMaxThreadCount(1);
    readLaunchAtLogin();
}

Core::~Core()
{
    stopHelper();
}

void Core::setShowAccount(bool show)
{
    assign(m_showAccount, show, &Core::showAccountChanged);
}

void Core::launch()
{
    if (m_helper || !m_ports.resourceFolder)
        return;
    const QDir resources(*m_ports.resourceFolder);
    QStringList arguments{u"-default"_s, resources.absoluteFilePath(u"channels.json"_s),
                          u"-engine"_s, resources.absoluteFilePath(u"netcore"_s)};
    const qsizetype restore = m_ports.arguments.indexOf(u"--restore-channel"_s);
    if (restore >= 0 && restore + 1 < m_ports.arguments.size())
        arguments << u"-restore-channel"_s << m_ports.arguments.at(restore + 1);

    m_helper = std::make_unique<QProcess>();
    // Like every tick, these wait while an alert is open.
    QObject::connect(m_helper.get(), &QProcess::started, this, [this] {
        if (!modalDepth().blocked())
            refresh();
        m_firstPoll.start(firstPollPeriodMs);
        QTimer::singleShot(firstPollLimitMs, this, [this] { m_firstPoll.stop(); });
    });
    QObject::connect(&m_firstPoll, &QTimer::timeout, this, [this] {
        if (m_statusKnown)
            m_firstPoll.stop();
        else if (!modalDepth().blocked())
            refresh();
    });
    m_helper->setProcessChannelMode(QProcess::ForwardedChannels);
    m_helper->setInputChannelMode(QProcess::ForwardedInputChannel);
    // A helper that cannot start is not reported: the polls find no helper.
    m_helper->start(resources.absoluteFilePath(u"helper"_s), arguments);

    refreshParallelVPNs();

    // Member timers die with the Core, so a late tick does nothing. They
    // skip ticks while a modal alert or a menu is open.
    QObject::connect(&m_vpnTimer, &QTimer::timeout, this, [this] {
        if (!modalDepth().blocked())
            refreshParallelVPNs();
    });
    m_vpnTimer.start(scanPeriodMs);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
        if (!modalDepth().blocked())
            refresh();
    });
    m_timer.start(statusPeriodMs);
}

void Core::setStatus(const Status& status)
{
    if (!m_statusKnown) {
        m_statusKnown = true;
        m_firstPoll.stop();
        m_status = status;
        Q_EMIT statusChanged();
        Q_EMIT changed();
        return;
    }
    assign(m_status, status, &Core::statusChanged);
}

void Core::shutdown()
{
    m_vpnTimer.stop();
    m_firstPoll.stop();
    if (m_helper && m_helper->state() != QProcess::NotRunning)
        m_helper->terminate();
}

void Core::stopHelper()
{
    if (!m_helper || m_helper->state() == QProcess::NotRunning)
        return;
    m_helper->terminate();
    if (!m_helper->waitForFinished(helperExitWaitMs)) {
        m_helper->kill();
        m_helper->waitForFinished(helperExitWaitMs);
    }
}

void Core::checkUpdates()
{
    m_updates.check(true);
}

void Core::refresh()
{
    const QPointer<Core> self(this);
    HelperSocket::send(u"GET"_s, u"/status"_s, statusTimeoutSeconds,
                       [self](std::optional<HelperReply> reply) {
                           if (!reply)
                               return;
                           std::optional<Status> decoded = Status::fromJson(reply->body);
                           if (!decoded)
                               return;
                           onMainThread([self, status = std::move(*decoded)] {
                               if (self)
                                   self->setStatus(status);
                           });
                           refreshAccount(self);
                           // Queued after the store above, so it sees the new record.
                           onMainThread([self] {
                               if (self)
                                   self->m_updates.poll(self->m_status.running);
                           });
                       });
}

void Core::post(const QString& method, const QString& target, double timeoutSeconds,
                std::function<void()> done)
{
    const QPointer<Core> self(this);
    HelperSocket::send(method, target, timeoutSeconds,
                       [self, done = std::move(done)](std::optional<HelperReply>) {
                           onMainThread([self, done] {
                               if (!self)
                                   return;
                               self->setBusy(false);
                               self->refresh();
                               if (done)
                                   done();
                           });
                       });
}

void Core::readLaunchAtLogin()
{
    assign(m_launchAtLogin, m_ports.loginItem->isEnabled(), &Core::launchAtLoginChanged);
}
