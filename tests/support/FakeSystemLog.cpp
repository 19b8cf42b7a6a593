#include "FakeSystemLog.h"

void FakeSystemLog::write(const QString& line)
{
    const std::lock_guard lock(m_mutex);
    m_lines.append(line);
}

QStringList FakeSystemLog::lines() const
{
    const std::lock_guard lock(m_mutex);
    return m_lines;
}
