#include "ui/main/ChannelList.h"

#include "ui/main/ChannelClickArea.h"
#include "ui/main/ChannelRow.h"

#include <QEvent>
#include <QScreen>

namespace {

constexpr int rowSpacing = 2;
// Room on the screen for the rest of the window: the power button, the
// metrics, the warnings and the window's frame.
constexpr int screenReserve = 360;
constexpr int minimumRowsShown = 6;

} // namespace

ChannelList::ChannelList(QWidget* parent)
    : QScrollArea(parent)
    , content_(new QWidget)
{
    content_->installEventFilter(this);
    content_->setFixedHeight(0);
    setWidget(content_);
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // The window shows through.
    viewport()->setAutoFillBackground(false);
    content_->setAutoFillBackground(false);
}

void ChannelList::setCount(int wanted)
{
    const int had = count();
    for (int i = had; i < wanted; ++i) {
        auto* row = new ChannelRow(content_);
        auto* area = new ChannelClickArea(row);
        connect(area, &ChannelClickArea::selectRequested, this,
                [this, i] { Q_EMIT selectRequested(i); });
        connect(area, &ChannelClickArea::connectRequested, this,
                [this, i] { Q_EMIT connectRequested(i); });
        rows_.append(row);
        areas_.append(area);
        row->show();
    }
    for (int i = had - 1; i >= wanted; --i) {
        ChannelRow* row = rows_.takeLast();
        areas_.removeLast();
        row->hide();
        // Later: the press that led here may still be running in its click area.
        row->deleteLater();
    }
    if (wanted == had)
        return;
    content_->setFixedHeight(contentHeight());
    place(std::min(had, wanted));
    updateGeometry();
}

void ChannelList::changeEvent(QEvent* event)
{
    QScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        content_->setFixedHeight(contentHeight());
        place(0);
        updateGeometry();
    }
}

void ChannelList::place(int from)
{
    const int height = rowHeight();
    for (int i = from; i < count(); ++i)
        rows_.at(i)->setGeometry(0, i * (height + rowSpacing), content_->width(), height);
}

bool ChannelList::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == content_ && event->type() == QEvent::Resize)
        place(0);
    return QScrollArea::eventFilter(watched, event);
}

ChannelRow* ChannelList::row(int index) const
{
    return index >= 0 && index < count() ? rows_.at(index) : nullptr;
}

ChannelClickArea* ChannelList::clickArea(int index) const
{
    return index >= 0 && index < count() ? areas_.at(index) : nullptr;
}

int ChannelList::rowHeight() const
{
    // Every row is as tall as the first: the same font, one line.
    return rows_.isEmpty() ? fontMetrics().height() : rows_.first()->sizeHint().height();
}

int ChannelList::contentHeight() const
{
    if (rows_.isEmpty())
        return 0;
    return count() * rowHeight() + (count() - 1) * rowSpacing;
}

int ChannelList::maximumListHeight() const
{
    const int floor = minimumRowsShown * (rowHeight() + rowSpacing);
    const QScreen* shown = screen();
    if (!shown)
        return floor;
    return std::max(floor, shown->availableGeometry().height() - screenReserve);
}

QSize ChannelList::sizeHint() const
{
    return {0, std::min(contentHeight(), maximumListHeight())};
}

QSize ChannelList::minimumSizeHint() const
{
    return sizeHint();
}
