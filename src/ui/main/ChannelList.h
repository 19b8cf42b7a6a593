#pragma once

#include <QAbstractScrollArea>
#include <QList>
#include <QStringList>

class ChannelClickArea;
class ChannelRow;

// The channel rows of the main window, 2 points apart, each under its click
// catcher. Only the rows on screen have widgets: as the list scrolls, the
// widgets of rows that leave the screen go to the rows that come into it, so
// a list of any length costs a screenful of rows to show and to update. The
// list is as tall as its rows until the window would take more of the screen
// than it may (see setReserve), and scrolls from there.
class ChannelList : public QAbstractScrollArea {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChannelList)

public:
    explicit ChannelList(QWidget* parent = nullptr);

    // The channels in list order and how their rows look: the tunnel runs on
    // channel `active` (-1: none), `selected` is the power button's target
    // (any index, also one past the end), and `live` and `waiting` are the
    // same for every row (see ChannelRow::set). Costs the rows on screen only.
    void setChannels(const QStringList& names, qint64 active, qint64 selected, bool live,
                     bool waiting);
    int count() const { return int(m_names.size()); }

    // The widgets of channel `index` while its row is on screen, else null.
    ChannelRow* row(int index) const;
    ChannelClickArea* clickArea(int index) const;
    // Scrolls the least that brings row `index` fully on screen.
    void scrollToRow(int index);

    // How much of the screen's height is not for the list (the rest of the
    // window, its frame, and what the window leaves free): the list grows no
    // taller than what that leaves, nor shorter than a few rows.
    void setReserve(int pixels);
    // The tallest the list grows before it scrolls.
    int maximumListHeight() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // Every press on row `index`.
    void selectRequested(int index);
    // The second press of a double click on row `index`.
    void connectRequested(int index);

protected:
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // A row widget with its click catcher, showing channel `index` (-1: free).
    struct Shown {
        ChannelRow* row;
        ChannelClickArea* area;
        int index;
    };

    int rowHeight() const;
    int pitch() const;
    int contentHeight() const;
    void updateScrollRange();
    // Gives the rows on screen their widgets, places them and brings their
    // looks up to date; frees the widgets of rows that left the screen.
    void placeRows();
    // Where in m_shown the widgets of row `index` are, -1: nowhere.
    qsizetype find(int index) const;
    // A free row widget, made when every one is in use.
    qsizetype freeRow();
    int indexOf(const ChannelClickArea* area) const;

    QStringList m_names;
    qint64 m_active = -1;
    qint64 m_selected = -1;
    bool m_live = false;
    bool m_waiting = true;
    int m_reserve = 0;
    // The row whose press is being handled; its double click connects it.
    int m_pressed = -1;
    QList<Shown> m_shown;
};
