#pragma once

#include <QCoreApplication>
#include <QMetaObject>

#include <utility>

// Runs `task` on the main thread after everything already handed there.
// Callable from any thread; tasks that touch an object check a QPointer to it
// first.
template <typename Task>
void onMainThread(Task&& task)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::forward<Task>(task),
                              Qt::QueuedConnection);
}
