#pragma once

#include "link/Status.h"

#include <functional>

class QMenu;

// The tray menu's content for one status, rebuilt each time the menu opens
// (it does not follow changes while open). Main thread only.
class TrayMenu {
public:
    struct Actions {
        std::function<void(int)> pick; // connect the channel with this index
        std::function<void()> off;
        std::function<void()> show;
        std::function<void()> updates;
        std::function<void()> quit;
    };

    TrayMenu() = delete;

    // "Подключено: …"/"Трафик идёт мимо: …"/"Отключено".
    static QString header(const Status& status);
    static void fill(QMenu* menu, const Status& status, const Actions& actions);
};
