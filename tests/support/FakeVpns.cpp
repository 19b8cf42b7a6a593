#include "FakeVpns.h"

#include <QSemaphore>

using namespace Qt::StringLiterals;

namespace {

// A held reading gives up after this long, so that a failed test ends.
constexpr int heldLimitMs = 60000;

} // namespace

struct FakeVpns::Gate {
    QSemaphore waiting;
    QSemaphore go;
};

FakeVpns::FakeVpns()
    : m_gate(std::make_shared<Gate>())
{}

void FakeVpns::list(const QStringList& names)
{
    m_lines.clear();
    for (const QString& name : names) {
        // The line's id ends at white space and its name at a double quote.
        QString id = name;
        QString shown = name;
        for (QChar& c : id) {
            if (c.isSpace())
                c = u'_';
        }
        for (QChar& c : shown) {
            if (c == u'"' || c == u'\n' || c == u'\r')
                c = u'\'';
        }
        m_lines << u"* (Connected) %1 VPN (tun) \"%2\""_s.arg(id, shown);
    }
}

void FakeVpns::hold()
{
    m_held = true;
}

bool FakeVpns::release()
{
    if (!m_gate->waiting.tryAcquire())
        return false;
    m_gate->go.release();
    return true;
}

ConnectedVpns::Reading FakeVpns::reading() const
{
    return [output = m_lines.join(u'\n'), gate = m_held ? m_gate : nullptr]() {
        if (gate) {
            gate->waiting.release();
            gate->go.tryAcquire(1, heldLimitMs);
        }
        return std::optional(output);
    };
}
