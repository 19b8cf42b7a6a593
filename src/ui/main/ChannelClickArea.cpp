#include "ui/main/ChannelClickArea.h"

#include <QEvent>
#include <QPointer>

ChannelClickArea::ChannelClickArea(QWidget* row)
    : ClickView(row)
{
    Q_ASSERT(row);
    setGeometry(row->rect());
    row->installEventFilter(this);
    connect(this, &ClickView::pressed, this, &ChannelClickArea::press);
}

bool ChannelClickArea::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
        raise();
    }
    return ClickView::eventFilter(watched, event);
}

void ChannelClickArea::press(int clickCount)
{
    // The select handler may re-render the list and take this row away.
    const QPointer<ChannelClickArea> alive(this);
    Q_EMIT selectRequested();
    if (alive && clickCount == 2)
        Q_EMIT connectRequested();
}
