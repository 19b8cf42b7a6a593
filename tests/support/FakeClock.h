#pragma once

#include "platform/Clock.h"

// A clock that stands still until the test moves it: at first 2024-06-01
// 12:00 UTC and 1,000,000 ms on the monotonic scale. Main thread only.
class FakeClock final : public Clock {
public:
    QDateTime now() const override { return m_now; }
    qint64 monotonicMs() const override { return m_monotonicMs; }

    void setNow(const QDateTime& now) { m_now = now; }
    // Moves both readings on by `ms`, as time passing does.
    void advance(qint64 ms);

private:
    QDateTime m_now = QDateTime::fromSecsSinceEpoch(1'717'243'200);
    qint64 m_monotonicMs = 1'000'000;
};
