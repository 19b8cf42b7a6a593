#pragma once

#include <QPointF>
#include <QWidget>

// A transparent widget that sees the click count of every left-button press:
// 1 for a single press, 2 for the second press of a double click, 3 for the
// third, and so on, counted from the presses' own timestamps and positions
// with the platform's double-click interval and distance. It takes the press
// itself; nothing reaches the widgets below. A press on an inactive window
// is reported like any other.
class ClickView : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ClickView)

public:
    explicit ClickView(QWidget* parent = nullptr);

    // The next press counts 1, however soon and near it comes.
    void forgetPresses() { m_count = 0; }

Q_SIGNALS:
    void pressed(int clickCount);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void count(const QMouseEvent& event);

    int m_count = 0;
    quint64 m_lastPressTime = 0;
    QPointF m_lastPressPosition;
};
