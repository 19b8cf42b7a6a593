#include "ui/main/ChannelList.h"

#include "ui/main/ChannelClickArea.h"
#include "ui/main/ChannelRow.h"

#include <QEvent>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>
#include <limits>

namespace {

constexpr int rowSpacing = 2;
constexpr int minimumRowsShown = 6;
// As far as a wheel notch or an arrow of the scroll bar moves the list.
constexpr int scrollStep = 20;
constexpr int spareRows = 2;

} // namespace

ChannelList::ChannelList(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalScrollBar()->setSingleStep(scrollStep);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // The window shows through.
    viewport()->setBackgroundRole(QPalette::Window);
    viewport()->setAutoFillBackground(false);
}

void ChannelList::setChannels(const QStringList& names, qint64 active, qint64 selected, bool live,
                              bool waiting)
{
    const bool resized = names.size() != m_names.size();
    m_names = names;
    m_active = active;
    m_selected = selected;
    m_live = live;
    m_waiting = waiting;
    if (resized) {
        updateScrollRange();
        updateGeometry();
    }
    placeRows();
}

ChannelRow* ChannelList::row(int index) const
{
    const qsizetype at = find(index);
    return at < 0 ? nullptr : m_shown.at(at).row;
}

ChannelClickArea* ChannelList::clickArea(int index) const
{
    const qsizetype at = find(index);
    return at < 0 ? nullptr : m_shown.at(at).area;
}

void ChannelList::scrollToRow(int index)
{
    if (index < 0 || index >= count())
        return;
    QScrollBar* bar = verticalScrollBar();
    const int top = index * pitch();
    const int bottom = top + rowHeight();
    if (top < bar->value())
        bar->setValue(top);
    else if (bottom > bar->value() + viewport()->height())
        bar->setValue(bottom - viewport()->height());
}

void ChannelList::setReserve(int pixels)
{
    if (pixels == m_reserve)
        return;
    m_reserve = pixels;
    updateGeometry();
}

int ChannelList::maximumListHeight() const
{
    const int floor = minimumRowsShown * pitch();
    const QScreen* shown = screen();
    if (!shown)
        return floor;
    return std::max(floor, shown->availableGeometry().height() - m_reserve);
}

QSize ChannelList::sizeHint() const
{
    return {0, std::min(contentHeight(), maximumListHeight())};
}

QSize ChannelList::minimumSizeHint() const
{
    return sizeHint();
}

void ChannelList::scrollContentsBy(int, int)
{
    placeRows();
}

void ChannelList::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange();
    placeRows();
}

void ChannelList::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateScrollRange();
        placeRows();
        updateGeometry();
    }
}

int ChannelList::rowHeight() const
{
    return ChannelRow::heightFor(fontMetrics());
}

int ChannelList::pitch() const
{
    return rowHeight() + rowSpacing;
}

int ChannelList::contentHeight() const
{
    if (m_names.isEmpty())
        return 0;
    const qint64 height = qint64(count()) * pitch() - rowSpacing;
    return int(std::min<qint64>(height, std::numeric_limits<int>::max()));
}

void ChannelList::updateScrollRange()
{
    QScrollBar* bar = verticalScrollBar();
    const int page = viewport()->height();
    bar->setPageStep(page);
    bar->setRange(0, std::max(0, contentHeight() - page));
}

void ChannelList::placeRows()
{
    const int step = pitch();
    const int height = rowHeight();
    const int top = verticalScrollBar()->value();
    // Until the layout has given the list its height, as tall as it asks to be.
    const int shownHeight = std::max(viewport()->height(), sizeHint().height());
    int first = 0;
    int last = -1;
    if (count() > 0 && shownHeight > 0) {
        first = std::min(top / step, count() - 1);
        last = std::min(count() - 1, (top + shownHeight - 1) / step);
    }
    for (Shown& shown : m_shown) {
        if (shown.index >= 0 && (shown.index < first || shown.index > last)) {
            shown.index = -1;
            shown.row->hide();
        }
    }
    const int width = viewport()->width();
    for (int i = first; i <= last; ++i) {
        qsizetype at = find(i);
        if (at < 0) {
            at = freeRow();
            m_shown[at].index = i;
            // Presses counted on the row it showed before do not go on here.
            m_shown[at].area->forgetPresses();
        }
        ChannelRow* row = m_shown.at(at).row;
        row->set(m_names.at(i), i == m_active, i == m_selected, m_live, m_waiting);
        row->setGeometry(0, i * step - top, width, height);
        row->show();
    }
    // A few free widgets wait for the rows that scroll in next; the rest go.
    for (qsizetype at = m_shown.size() - 1, free = 0; at >= 0; --at) {
        if (m_shown.at(at).index >= 0 || ++free <= spareRows)
            continue;
        // Later: the press that led here may still be running in its click area.
        m_shown.takeAt(at).row->deleteLater();
    }
}

qsizetype ChannelList::find(int index) const
{
    for (qsizetype at = 0; index >= 0 && at < m_shown.size(); ++at) {
        if (m_shown.at(at).index == index)
            return at;
    }
    return -1;
}

qsizetype ChannelList::freeRow()
{
    for (qsizetype at = 0; at < m_shown.size(); ++at) {
        if (m_shown.at(at).index < 0)
            return at;
    }
    auto* row = new ChannelRow(viewport());
    auto* area = new ChannelClickArea(row);
    connect(area, &ChannelClickArea::selectRequested, this, [this, area] {
        m_pressed = indexOf(area);
        if (m_pressed >= 0)
            Q_EMIT selectRequested(m_pressed);
    });
    // Always right after the select request of the same press, which may
    // have given this widget to another row.
    connect(area, &ChannelClickArea::connectRequested, this, [this] {
        if (m_pressed >= 0)
            Q_EMIT connectRequested(m_pressed);
    });
    m_shown.append({row, area, -1});
    return m_shown.size() - 1;
}

int ChannelList::indexOf(const ChannelClickArea* area) const
{
    for (const Shown& shown : m_shown) {
        if (shown.area == area)
            return shown.index;
    }
    return -1;
}
