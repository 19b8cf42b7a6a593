#pragma once

class QWidget;

// What the X11 window manager is told about our windows beyond Qt's own
// flags. Does nothing on other platforms. Main thread only.
namespace DesktopWindow {

// A floating panel: on every workspace (_NET_WM_DESKTOP 0xFFFFFFFF and
// _NET_WM_STATE_STICKY), and typed as a torn-off toolbar before a utility
// window, the type window managers (Openbox, KWin, Mutter) neither minimise
// nor maximise; Qt's flags alone leave minimising to the window manager.
// Call before each time the window is shown: a window manager forgets the
// workspace and the state when the window is withdrawn (hidden).
void prepareFloatingPanel(QWidget* window);

} // namespace DesktopWindow
