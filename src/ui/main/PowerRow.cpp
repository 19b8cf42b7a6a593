#include "ui/main/PowerRow.h"

#include "ui/kit/TextBlock.h"
#include "ui/main/PowerButton.h"

#include <QEvent>

using namespace Qt::StringLiterals;

PowerRow::PowerRow(QWidget* parent)
    : QWidget(parent)
    , m_button(new PowerButton(this))
    , m_caption(new TextBlock(TextBlock::Tone::Secondary, this))
{
    m_caption->setText(u"Проверяю связь…"_s);
    m_caption->setAlignment(Qt::AlignHCenter);
    m_caption->setMaxLines(1);
    m_caption->setFont(TextBlock::captionFont(font()));
    m_caption->setOpacity(0);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void PowerRow::setChecking(bool checking)
{
    m_caption->setOpacity(checking ? 1 : 0);
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
    return {m_button->sizeHint().width(), captionTop() + m_caption->sizeHint().height()};
}

QSize PowerRow::minimumSizeHint() const
{
    return sizeHint();
}

void PowerRow::resizeEvent(QResizeEvent* event)
{
    const QSize button = m_button->sizeHint();
    m_button->setGeometry((width() - button.width()) / 2, 0, button.width(), button.height());
    m_caption->setGeometry(0, captionTop(), width(), m_caption->sizeHint().height());
    QWidget::resizeEvent(event);
}

void PowerRow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        m_caption->setFont(TextBlock::captionFont(font()));
        updateGeometry();
    }
    QWidget::changeEvent(event);
}
