#include "link/BackgroundQueue.h"

#include <QThreadPool>

QThreadPool* BackgroundQueue::pool()
{
    // Deliberately leaked: worker threads may still be finishing a round trip
    // while static destructors run at exit.
    static QThreadPool* const shared = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(maxThreads);
        p->setObjectName(QStringLiteral("ovrin.background"));
        return p;
    }();
    return shared;
}
