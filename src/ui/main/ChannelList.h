#pragma once

#include <QList>
#include <QScrollArea>

class ChannelClickArea;
class ChannelRow;

// The channel rows of the main window, 2 points apart, each under its click
// catcher. Rows are kept across re-renders and reused by position: a new
// count adds or removes rows at the end only, and the caller sets each row's
// name and looks (ChannelRow::set repaints only what changed). The list is as
// tall as its rows until it would leave the screen, and scrolls from there.
class ChannelList : public QScrollArea {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChannelList)

public:
    explicit ChannelList(QWidget* parent = nullptr);

    void setCount(int count);
    int count() const { return int(rows_.size()); }
    ChannelRow* row(int index) const;
    ChannelClickArea* clickArea(int index) const;

    // The tallest the list grows before it scrolls.
    int maximumListHeight() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

Q_SIGNALS:
    // Every press on row `index`.
    void selectRequested(int index);
    // The second press of a double click on row `index`.
    void connectRequested(int index);

private:
    int rowHeight() const;
    int contentHeight() const;
    // Rows are placed by hand, not by a layout: a renamed row then costs no
    // layout pass over the whole list.
    void place(int from);

    QWidget* content_;
    QList<ChannelRow*> rows_;
    QList<ChannelClickArea*> areas_;
};
