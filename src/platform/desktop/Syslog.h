#pragma once

#include "platform/SystemLog.h"

// syslog(3) with the ident "ovrin"; the journal picks the lines up.
class Syslog final : public SystemLog {
public:
    Syslog();
    ~Syslog() override;
    Syslog(const Syslog&) = delete;
    Syslog& operator=(const Syslog&) = delete;

    void write(const QString& line) override;
};
