#pragma once

#include <QtGlobal>

// How many application-modal alerts, panels and menus are open right now.
// The status poll, the parallel-VPN scan and the tray glyph skip their tick
// while any is open; work handed to the main thread still runs. One per
// application, made where the ports are wired: the dialogs and the settings
// menu raise it, Core's timers and the tray glyph read it through Core.
// Main thread only.
class ModalDepth {
public:
    ModalDepth() = default;
    Q_DISABLE_COPY_MOVE(ModalDepth)

    bool blocked() const { return m_depth > 0; }

    // Raises `depth` for its lifetime, which must end before the depth's.
    class Scope {
    public:
        explicit Scope(ModalDepth& depth)
            : m_depth(depth)
        {
            ++m_depth.m_depth;
        }
        ~Scope() { --m_depth.m_depth; }
        Q_DISABLE_COPY_MOVE(Scope)

    private:
        ModalDepth& m_depth;
    };

private:
    int m_depth = 0;
};
