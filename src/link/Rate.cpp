#include "link/Rate.h"

QString rate(qint64 bps)
{
    if (bps < 1000)
        return QStringLiteral("0");
    const double mbps = double(bps) / 1'000'000.0;
    if (bps < 1'000'000)
        return QString::asprintf("%.2f", mbps);
    if (bps < 10'000'000)
        return QString::asprintf("%.1f", mbps);
    return QString::asprintf("%.0f", mbps);
}
