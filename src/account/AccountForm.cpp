#include "account/AccountForm.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace AccountForm {

QPushButton* button(const QString& title, QWidget* parent)
{
    auto* widget = new QPushButton(title, parent);
    widget->setAutoDefault(false);
    return widget;
}

TextBlock* text(TextBlock::Tone tone, const QString& content, QWidget* parent)
{
    auto* block = new TextBlock(tone, parent);
    block->setText(content);
    return block;
}

QLabel* selectable(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    return label;
}

QVBoxLayout* column(QWidget* widget, int margin)
{
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(spacing);
    return layout;
}

QVBoxLayout* panelColumn(QWidget* panel)
{
    QVBoxLayout* layout = column(panel);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    return layout;
}

QLineEdit* field(const QString& placeholder, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setPlaceholderText(placeholder);
    edit->setAccessibleName(placeholder);
    return edit;
}

void showText(QLineEdit* edit, const QString& value)
{
    if (edit->text() != value)
        edit->setText(value);
}

void submits(QLineEdit* edit, QPushButton* target)
{
    QObject::connect(edit, &QLineEdit::returnPressed, target, [target] {
        if (target->isEnabled() && target->isVisible())
            target->click();
    });
}

} // namespace AccountForm
