#include "platform/desktop/Syslog.h"

#include <syslog.h>

Syslog::Syslog()
{
    ::openlog("ovrin", LOG_PID, LOG_USER);
}

Syslog::~Syslog()
{
    ::closelog();
}

void Syslog::write(const QString& line)
{
    ::syslog(LOG_NOTICE, "%s", line.toUtf8().constData());
}
