#pragma once
#include <functional>

class QWidget;

namespace platform::x11 {

// Marks the window "skip taskbar" and "skip pager" for the window manager. Qt has no API for
// it. Does nothing off X11 (on Wayland the compositor decides).
void skipTaskbar(QWidget* window);

// Calls `changed` on the GUI thread when an XEmbed notification area may have come or gone (its
// manager announced itself, or a window went away), so nobody has to poll for it. False off X11.
bool watchTrayManager(std::function<void()> changed);

} // namespace platform::x11
