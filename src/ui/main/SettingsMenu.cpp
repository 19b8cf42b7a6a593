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

SettingsMenu::SettingsMenu(Core& core, QWidget* parent)
    : PullDownMenu(core.modalDepth(), parent)
    , m_core(core)
{
    m_launchAtLogin = addSwitch(u"Запускать при входе в систему"_s, &Core::setLaunchAtLogin);
    m_autoconnect = addSwitch(u"Подключаться при запуске"_s, &Core::setAutoconnect);
    m_protection = addSwitch(u"Строгая защита соединения"_s, &Core::setProtection);
    addSeparator();
    m_account = addAction(u"Учётная запись…"_s);
    connect(m_account, &QAction::triggered, this, [this] { m_core.setShowAccount(true); });

    m_logs = new PullDownMenu(m_core.modalDepth(), u"Логи"_s, this);
    addMenu(m_logs);
    m_export = m_logs->addAction(u"Экспорт…"_s);
    connect(m_export, &QAction::triggered, this, [this] {
        m_core.exportLogs();
        render();
    });
    m_clear = m_logs->addAction(u"Очистить…"_s);
    PullDownMenu::setDestructive(m_clear, true);
    connect(m_clear, &QAction::triggered, this, [this] { m_core.clearLogs(); });

    tint();
    render();
}

QAction* SettingsMenu::addSwitch(const QString& title, void (Core::*change)(bool))
{
    QAction* action = addAction(title);
    action->setCheckable(true);
    // The action has already flipped itself; Core decides what it shows.
    connect(action, &QAction::triggered, this, [this, change](bool on) {
        (m_core.*change)(on);
        render();
    });
    return action;
}

void SettingsMenu::render()
{
    const Status& status = m_core.status();
    m_launchAtLogin->setChecked(m_core.launchAtLogin());
    m_autoconnect->setChecked(status.autoconnect);
    m_protection->setChecked(status.protected_);
    m_protection->setEnabled(!status.running && !m_core.busy() && status.helper);
    const bool exporting = m_core.exporting();
    m_export->setText(exporting ? u"Выгружаю…"_s : u"Экспорт…"_s);
    m_export->setEnabled(!exporting);
}

void SettingsMenu::tint()
{
    const QColor label = SystemColours::label(palette());
    m_logs->menuAction()->setIcon(menuIcon(u"doc.text"_s, label, palette()));
    m_export->setIcon(menuIcon(u"square.and.arrow.up"_s, label, palette()));
    m_clear->setIcon(menuIcon(u"trash"_s, SystemColours::red(palette()), palette()));
}

void SettingsMenu::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange)
        tint();
    PullDownMenu::changeEvent(event);
}
