#pragma once
class QWidget;

namespace platform::x11 {

// Marks the window "skip taskbar" and "skip pager" for the window manager. Qt has no API for
// it. Does nothing off X11 (on Wayland the compositor decides).
void skipTaskbar(QWidget* window);

} // namespace platform::x11
