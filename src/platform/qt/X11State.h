#pragma once

#include <memory>
#include <string_view>

struct xcb_connection_t;

class QWidget;

namespace zorvane::qt {

// Asks the X11 window manager to put a shown top-level window into or out of
// its layer above others (_NET_WM_STATE_ABOVE), as soon as show() was called.
// Nothing for a hidden window (Qt sets the state from the window's flags as
// it maps it) or off X11.
void AskKeepAbove(QWidget& window, bool on);

// True when a compositing manager runs on the X display (the _NET_WM_CM_Sn selection
// has an owner), so that a window's alpha is blended with what lies behind it. False
// off X11.
bool CompositorRunning();

// True when the X11 window manager is the one wlroots compositors run for XWayland (sway and
// its kin), which puts every new window where it likes, whatever place the program asked
// for. False off X11.
bool WindowManagerIgnoresPlaces();

// True when the X server is XWayland (a Wayland desktop's X11 server): there, a pointer grab
// sees only clicks on X11 windows, not on the desktop's own wallpaper and panels.
bool XWaylandServer();

// Keeps a top-level window out of taskbars and pagers (_NET_WM_STATE_SKIP_TASKBAR and
// _SKIP_PAGER). Set on the window before it maps, where the window manager reads it; Qt
// keeps the states it finds there. A shown window asks the window manager instead.
void SkipTaskbar(QWidget& window);

// A connection to the X display of $DISPLAY, made before Qt connects (Qt aborts
// when it cannot). Kept until Qt has connected: a server resets as its last
// client goes, and may refuse the next one meanwhile.
class DisplayProbe {
  public:
    DisplayProbe();
    bool open() const { return open_; }    // the server answered
    int xftDpi() const { return xftDpi_; } // its Xft.dpi resource; 0 when not set
    // Whether a session bus started for this display and user (dbus-launch --autolaunch)
    // runs: the selection it owns while it lives has an owner. `machineId` as in
    // /etc/machine-id.
    bool LaunchedSessionBus(std::string_view user, std::string_view machineId) const;

  private:
    struct Disconnect {
        void operator()(xcb_connection_t* c) const;
    };
    std::unique_ptr<xcb_connection_t, Disconnect> connection_;
    bool open_ = false;
    int xftDpi_ = 0;
};

// The Xft.dpi value of X resources as xrdb keeps them ("Xft.dpi:\t144\n..."); 0 for none.
int XftDpi(std::string_view resources);

} // namespace zorvane::qt
