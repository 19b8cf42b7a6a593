#pragma once

#include "platform/SystemLog.h"

#include <QStringList>

#include <mutex>

// A system log that keeps its lines. Any thread.
class FakeSystemLog final : public SystemLog {
public:
    void write(const QString& line) override;
    QStringList lines() const;

private:
    mutable std::mutex m_mutex;
    QStringList m_lines;
};
