#include "ui/main/PullDownMenu.h"

#include "ui/kit/SystemColours.h"

#include <QStyleOptionMenuItem>

namespace {

const char* const destructiveProperty = "ovrinDestructive";

} // namespace

PullDownMenu::PullDownMenu(ModalDepth& modal, QWidget* parent)
    : PullDownMenu(modal, QString(), parent)
{}

PullDownMenu::PullDownMenu(ModalDepth& modal, const QString& title, QWidget* parent)
    : QMenu(title, parent)
{
    connect(this, &QMenu::aboutToShow, this,
            [this, &modal] { m_open = std::make_unique<ModalDepth::Scope>(modal); });
    connect(this, &QMenu::aboutToHide, this, [this] { m_open.reset(); });
}

void PullDownMenu::setDestructive(QAction* action, bool destructive)
{
    action->setProperty(destructiveProperty, destructive);
}

bool PullDownMenu::isDestructive(const QAction* action)
{
    return action && action->property(destructiveProperty).toBool();
}

void PullDownMenu::initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const
{
    QMenu::initStyleOption(option, action);
    if (!isDestructive(action) || !action->isEnabled())
        return;
    const QColor red = SystemColours::red(palette());
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        for (const QPalette::ColorRole role :
             {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
            option->palette.setColor(group, role, red);
    }
}
