#include "ui/main/ClickView.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyleHints>

#include <cmath>

ClickView::ClickView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_NoSystemBackground);
}

void ClickView::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    count(*event);
}

// Qt delivers the second press of a double click to widgets as a double-click
// event alone; it is a press like the others. One that merely repeats a press
// already counted (same time and place) is not counted again.
void ClickView::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
    if (m_count > 0 && event->timestamp() == m_lastPressTime &&
        event->globalPosition() == m_lastPressPosition)
        return;
    count(*event);
}

void ClickView::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
}

void ClickView::count(const QMouseEvent& event)
{
    if (event.button() != Qt::LeftButton)
        return;
    const QStyleHints* hints = QGuiApplication::styleHints();
    const quint64 time = event.timestamp();
    const QPointF position = event.globalPosition();
    const qreal distance = hints->mouseDoubleClickDistance();
    const bool continues = m_count > 0 && time >= m_lastPressTime &&
                           time - m_lastPressTime < quint64(hints->mouseDoubleClickInterval()) &&
                           std::abs(position.x() - m_lastPressPosition.x()) <= distance &&
                           std::abs(position.y() - m_lastPressPosition.y()) <= distance;
    m_count = continues ? m_count + 1 : 1;
    m_lastPressTime = time;
    m_lastPressPosition = position;
    Q_EMIT pressed(m_count);
}
