#pragma once

#include <QtGlobal>

// How many application-modal alerts, panels and menus are open right now.
// The status poll, the parallel-VPN scan and the tray glyph skip their tick
// while any is open; work handed to the main thread still runs. Main thread
// only.
class ModalDepth {
public:
    static int current();
    static bool blocked() { return current() > 0; }

    // Raises the depth for its lifetime.
    class Scope {
    public:
        Scope();
        ~Scope();
        Q_DISABLE_COPY_MOVE(Scope)
    };
};
