#include "OnScreen.h"

#include "ui/kit/TextBlock.h"

#include <QAbstractButton>
#include <QLabel>

QStringList shownTexts(QWidget* root)
{
    QStringList texts;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(root))
            continue;
        if (auto* block = qobject_cast<TextBlock*>(w))
            texts << block->text();
        else if (auto* label = qobject_cast<QLabel*>(w))
            texts << label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            texts << button->text();
    }
    texts.removeAll(QString());
    return texts;
}
