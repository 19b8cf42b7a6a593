#include "Presses.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QStyleHints>
#include <QTest>
#include <QWidget>
#include <QWindow>

namespace {

ulong fakeClock = 1'000'000;

} // namespace

void Presses::press(QWidget* target, QPoint at, int afterMs, Qt::MouseButton button)
{
    QWindow* window = target->window()->windowHandle();
    const QPointF global = target->mapToGlobal(QPointF(at));
    const QPointF local = window->mapFromGlobal(global);
    fakeClock += ulong(afterMs);
    qt_handleMouseEvent(window, local, global, button, button, QEvent::MouseButtonPress, {},
                        int(fakeClock));
    qt_handleMouseEvent(window, local, global, {}, button, QEvent::MouseButtonRelease, {},
                        int(fakeClock + 10));
    QCoreApplication::processEvents();
}

void Presses::later(int ms)
{
    fakeClock += ulong(ms);
}

int Presses::quick()
{
    return QGuiApplication::styleHints()->mouseDoubleClickInterval() / 4;
}

void Presses::doubleClick(QWidget* target)
{
    const QPoint middle = target->rect().center();
    later(100'000);
    press(target, middle, 0);
    press(target, middle, quick());
}
