#pragma once

#include <string_view>

class QWidget;

namespace zorvane::qt {

// Asks the X11 window manager to put a shown top-level window into or out of
// its layer above others (_NET_WM_STATE_ABOVE), as soon as show() was called.
// Nothing for a hidden window (Qt sets the state from the window's flags as
// it maps it) or off X11.
void AskKeepAbove(QWidget& window, bool on);

// The X display of $DISPLAY, looked at before Qt connects to it (Qt aborts
// when it cannot).
struct DisplayProbe {
    bool open = false; // the server answered
    int xftDpi = 0;    // its Xft.dpi resource; 0 when not set
};
DisplayProbe ProbeDisplay();

// The Xft.dpi value of X resources as xrdb keeps them ("Xft.dpi:\t144\n..."); 0 for none.
int XftDpi(std::string_view resources);

} // namespace zorvane::qt
