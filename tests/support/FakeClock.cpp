#include "FakeClock.h"

void FakeClock::advance(qint64 ms)
{
    m_now = m_now.addMSecs(ms);
    m_monotonicMs += ms;
}
