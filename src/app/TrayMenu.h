#pragma once

#include "link/Status.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class QAction;
class QMenu;

// The tray menu: a header with the state, one item per channel (a check on
// the running one), "Отключить" while a tunnel runs, "Показать окно",
// "Проверить обновления" and "Выйти и отключить".
//
// The items are kept, not rebuilt: update() changes only what differs, so a
// D-Bus tray host (StatusNotifierItem with com.canonical.dbusmenu) sees the
// same item ids from one state to the next and a click on an item it drew a
// moment ago still lands. The owner calls update() whenever the state
// changes and when the menu opens, so every host shows the current state
// even if it never announces that it opens the menu. Main thread only.
class TrayMenu : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrayMenu)

public:
    struct Actions {
        std::function<void(int)> pick; // connect the channel with this index
        std::function<void()> off;
        std::function<void()> show;
        std::function<void()> updates;
        std::function<void()> quit;
    };

    // At most this many channel items: a menu cannot be read past that, and
    // Qt's menus slow down with the square of their length (a hundred
    // thousand items took seconds to build and to tear down). The window
    // lists every channel.
    static constexpr int maxChannelItems = 1000;

    // Channel names longer than this many characters are cut with "…"; the
    // whole name is the item's tooltip.
    static constexpr int maxLabelLength = 60;

    // `menu` must outlive this object; its items are ours.
    TrayMenu(QMenu* menu, Actions actions, QObject* parent = nullptr);

    void update(const Status& status);

    // How labels are written for the host that draws them: Qt's own popup
    // reads "&" as a mnemonic marker; Qt's D-Bus menu export turns only the
    // first "&" of a label into the host's marker "_" and passes "_" through,
    // which the host reads as a marker too.
    enum class Host { Popup, DBusMenu };
    void setHost(Host host);

    // "Подключено: …"/"Трафик идёт мимо: …"/"Отключено".
    static QString header(const Status& status);
    // The tray icon's tooltip: the header and, while a tunnel runs, its
    // response time and rates ("Подключено: Рига · 52 мс · ↓ 48 ↑ 12 Мбит/с").
    static QString tooltip(const Status& status);
    // What the user reads, as one line: control characters (a tab, a line
    // break) become spaces, and a name past maxLabelLength is cut with "…".
    static QString plainLine(const QString& text);
    // `text` written so that `host` shows it exactly as it is.
    static QString label(const QString& text, Host host);

    QMenu* menu() const { return m_menu; }

private:
    void setLabel(QAction* action, const QString& text);

    QMenu* m_menu;
    Actions m_actions;
    Host m_host = Host::Popup;
    QAction* m_header;
    QAction* m_channelsEnd; // the separator after the channels
    QAction* m_off;
    QList<QAction*> m_channels;
    Status m_shown;
};
