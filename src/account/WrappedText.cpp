#include "account/WrappedText.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QTextDocument>

#include <cmath>
#include <memory>

WrappedText::WrappedText(QWidget* parent)
    : QTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document()->setDocumentMargin(0);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void WrappedText::setText(const QString& text)
{
    if (text == toPlainText())
        return;
    setPlainText(text);
    updateGeometry();
}

int WrappedText::heightForWidth(int width) const
{
    const std::unique_ptr<QTextDocument> measured(document()->clone());
    measured->setDefaultFont(font());
    measured->setTextWidth(std::max(1, width));
    return int(std::ceil(measured->size().height()));
}

QSize WrappedText::sizeHint() const
{
    // As wide as the layout gives, as tall as the text needs at that width.
    const int width = std::max(this->width(), fontMetrics().averageCharWidth() * 20);
    return {width, heightForWidth(width)};
}

QSize WrappedText::minimumSizeHint() const
{
    return {fontMetrics().averageCharWidth() * 10, heightForWidth(width())};
}

void WrappedText::resizeEvent(QResizeEvent* event)
{
    QTextEdit::resizeEvent(event);
    if (height() != heightForWidth(width()))
        updateGeometry();
}

void WrappedText::changeEvent(QEvent* event)
{
    QTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        document()->setDefaultFont(font());
        updateGeometry();
    }
}
