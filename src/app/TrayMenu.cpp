#include "app/TrayMenu.h"

#include <QKeySequence>
#include <QMenu>

using namespace Qt::StringLiterals;

QString TrayMenu::header(const Status& status)
{
    if (!status.running)
        return u"Отключено"_s;
    return (status.primary ? u"Подключено: "_s : u"Трафик идёт мимо: "_s) +
           status.activeChannel().value_or(u"—"_s);
}

void TrayMenu::fill(QMenu* menu, const Status& status, const Actions& actions)
{
    menu->clear();
    menu->addAction(header(status))->setEnabled(false);
    menu->addSeparator();
    for (qsizetype i = 0; i < status.channels.size(); ++i) {
        QAction* channel = menu->addAction(status.channels.at(i));
        const int index = int(i);
        QObject::connect(channel, &QAction::triggered, menu,
                         [pick = actions.pick, index] { pick(index); });
        if (status.running && i == status.active) {
            channel->setCheckable(true);
            channel->setChecked(true);
        }
    }
    menu->addSeparator();
    if (status.running)
        QObject::connect(menu->addAction(u"Отключить"_s), &QAction::triggered, menu, actions.off);
    QObject::connect(menu->addAction(u"Показать окно"_s), &QAction::triggered, menu, actions.show);
    QObject::connect(menu->addAction(u"Проверить обновления"_s), &QAction::triggered, menu,
                     actions.updates);
    menu->addSeparator();
    QAction* quit = menu->addAction(u"Выйти и отключить"_s);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QObject::connect(quit, &QAction::triggered, menu, actions.quit);
}
