#pragma once

class QWidget;

namespace zorvane::qt {

// Asks the X11 window manager to put a shown top-level window into or out of
// its layer above others (_NET_WM_STATE_ABOVE), as soon as show() was called.
// Nothing for a hidden window (Qt sets the state from the window's flags as
// it maps it) or off X11.
void AskKeepAbove(QWidget& window, bool on);

} // namespace zorvane::qt
