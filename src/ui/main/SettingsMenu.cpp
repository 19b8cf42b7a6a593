#include "ui/main/SettingsMenu.h"

#include "core/Core.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/SystemColours.h"

#include <QEvent>

using namespace Qt::StringLiterals;

namespace {

constexpr int iconSize = 16;

// `colour`, and the highlighted text's colour while the item is under the pointer.
QIcon menuIcon(const QString& name, const QColor& colour, const QPalette& palette)
{
    QIcon icon = Symbols::icon(name, colour, iconSize);
    const QColor highlighted = palette.color(QPalette::HighlightedText);
    for (const qreal ratio : {1.0, 2.0})
        icon.addPixmap(Symbols::pixmap(name, highlighted, iconSize, ratio), QIcon::Active);
    return icon;
}

} // namespace

SettingsMenu::SettingsMenu(Core* core, QWidget* parent)
    : PullDownMenu(core->modalDepth(), parent)
    , core_(core)
{
    launchAtLogin_ = addSwitch(u"Запускать при входе в систему"_s, &Core::setLaunchAtLogin);
    autoconnect_ = addSwitch(u"Подключаться при запуске"_s, &Core::setAutoconnect);
    protection_ = addSwitch(u"Строгая защита соединения"_s, &Core::setProtection);
    addSeparator();
    account_ = addAction(u"Учётная запись…"_s);
    connect(account_, &QAction::triggered, this, [this] {
        if (core_)
            core_->setShowAccount(true);
    });

    logs_ = new PullDownMenu(core->modalDepth(), u"Логи"_s, this);
    addMenu(logs_);
    export_ = logs_->addAction(u"Экспорт…"_s);
    connect(export_, &QAction::triggered, this, [this] {
        if (core_)
            core_->exportLogs();
        render();
    });
    clear_ = logs_->addAction(u"Очистить…"_s);
    PullDownMenu::setDestructive(clear_, true);
    connect(clear_, &QAction::triggered, this, [this] {
        if (core_)
            core_->clearLogs();
    });

    tint();
    render();
}

QAction* SettingsMenu::addSwitch(const QString& title, void (Core::*change)(bool))
{
    QAction* action = addAction(title);
    action->setCheckable(true);
    // The action has already flipped itself; Core decides what it shows.
    connect(action, &QAction::triggered, this, [this, change](bool on) {
        if (core_)
            (core_.data()->*change)(on);
        render();
    });
    return action;
}

void SettingsMenu::render()
{
    if (!core_)
        return;
    const Status& status = core_->status();
    launchAtLogin_->setChecked(core_->launchAtLogin());
    autoconnect_->setChecked(status.autoconnect);
    protection_->setChecked(status.protected_);
    protection_->setEnabled(!status.running && !core_->busy() && status.helper);
    const bool exporting = core_->exporting();
    export_->setText(exporting ? u"Выгружаю…"_s : u"Экспорт…"_s);
    export_->setEnabled(!exporting);
}

void SettingsMenu::tint()
{
    const QColor label = SystemColours::label(palette());
    logs_->menuAction()->setIcon(menuIcon(u"doc.text"_s, label, palette()));
    export_->setIcon(menuIcon(u"square.and.arrow.up"_s, label, palette()));
    clear_->setIcon(menuIcon(u"trash"_s, SystemColours::red(palette()), palette()));
}

void SettingsMenu::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange)
        tint();
    PullDownMenu::changeEvent(event);
}
