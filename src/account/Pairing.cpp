#include "account/Pairing.h"

#include "account/PairingApproval.h"
#include "account/PairingRequest.h"
#include "core/Core.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int tickMs = 2000;

} // namespace

Pairing::Pairing(Core& core, Dialogs& dialogs, QObject* parent)
    : QObject(parent)
    , m_core(core)
    , m_request(std::make_unique<PairingRequest>(core, *this))
    , m_approval(std::make_unique<PairingApproval>(core, dialogs, *this))
{
    QObject::connect(m_request.get(), &PairingRequest::changed, this, &Pairing::changed);
    QObject::connect(m_approval.get(), &PairingApproval::changed, this, &Pairing::changed);
    m_timer.setInterval(tickMs);
    QObject::connect(&m_timer, &QTimer::timeout, this, &Pairing::tick);
}

Pairing::~Pairing() = default;

void Pairing::setPairingCode(const QString& code)
{
    assign(m_pairingCode, code);
}

void Pairing::setWaiting(bool waiting)
{
    assign(m_waiting, waiting);
}

void Pairing::setMessage(const QString& message)
{
    assign(m_message, message);
}

void Pairing::finish(const QString& message)
{
    setWaiting(false);
    setMessage(message);
}

qint64 Pairing::now() const
{
    return m_core.clock().monotonicMs();
}

qint64 Pairing::after(qint64 seconds) const
{
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    const qint64 start = now();
    if (seconds > 0 && (seconds > max / 1000 || start > max - seconds * 1000))
        return max;
    if (seconds < 0 && (seconds < distantPast / 1000 || start < distantPast - seconds * 1000))
        return distantPast;
    return start + seconds * 1000;
}

void Pairing::tick()
{
    m_request->pollPair();
    m_approval->pollCode();
    m_request->endQrNotice();
    Q_EMIT ticked();
}

void Pairing::startTicking()
{
    m_timer.start();
}

void Pairing::stopTicking()
{
    m_timer.stop();
}
