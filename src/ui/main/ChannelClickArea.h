#pragma once

#include "ui/main/ClickView.h"

// The click catcher laid over a channel row, always filling it. Every press
// asks to select the row; the press that is exactly the second of a double
// click then also asks to connect (a third press of a triple click does not).
class ChannelClickArea : public ClickView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChannelClickArea)

public:
    // Lies over `row` (its parent) and follows its size.
    explicit ChannelClickArea(QWidget* row);

Q_SIGNALS:
    void selectRequested();
    void connectRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void press(int clickCount);
};
