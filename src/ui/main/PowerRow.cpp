#include "ui/main/PowerRow.h"

#include "ui/kit/TextBlock.h"
#include "ui/main/PowerButton.h"

#include <QEvent>

using namespace Qt::StringLiterals;

PowerRow::PowerRow(QWidget* parent)
    : QWidget(parent)
    , button_(new PowerButton(this))
    , caption_(new TextBlock(TextBlock::Tone::Secondary, this))
{
    caption_->setText(u"Проверяю связь…"_s);
    caption_->setAlignment(Qt::AlignHCenter);
    caption_->setMaxLines(1);
    caption_->setFont(TextBlock::captionFont(font()));
    caption_->setOpacity(0);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void PowerRow::setChecking(bool checking)
{
    caption_->setOpacity(checking ? 1 : 0);
}

int PowerRow::overhang()
{
    return PowerButton::margin - circleTop;
}

int PowerRow::captionTop() const
{
    // From the widget's top, which is the button widget's: its circle starts `margin` lower.
    return PowerButton::margin + PowerButton::ringSize + captionGap;
}

QSize PowerRow::sizeHint() const
{
    return {button_->sizeHint().width(), captionTop() + caption_->sizeHint().height()};
}

QSize PowerRow::minimumSizeHint() const
{
    return sizeHint();
}

void PowerRow::resizeEvent(QResizeEvent* event)
{
    const QSize button = button_->sizeHint();
    button_->setGeometry((width() - button.width()) / 2, 0, button.width(), button.height());
    caption_->setGeometry(0, captionTop(), width(), caption_->sizeHint().height());
    QWidget::resizeEvent(event);
}

void PowerRow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        caption_->setFont(TextBlock::captionFont(font()));
        updateGeometry();
    }
    QWidget::changeEvent(event);
}
