#include "platform/qt/X11State.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace zorvane::qt {
namespace {

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

struct Free {
    void operator()(void* p) const { std::free(p); }
};

xcb_connection_t* Connection() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t Root(xcb_connection_t* c) {
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

// The property's value, at most 4 KiB of it; empty when absent.
std::string Property(xcb_connection_t* c, xcb_window_t window, xcb_atom_t name, xcb_atom_t type) {
    const std::unique_ptr<xcb_get_property_reply_t, Free> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, name, type, 0, 1024), nullptr));
    if (!reply || reply->type != type)
        return {};
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       std::size_t(xcb_get_property_value_length(reply.get())));
}

// Asks the window manager to add or remove two states of a mapped window (_NET_WM_STATE).
void SendState(xcb_connection_t* c, xcb_window_t window, bool add, xcb_atom_t first,
               xcb_atom_t second) {
    xcb_client_message_event_t e{};
    e.response_type = XCB_CLIENT_MESSAGE;
    e.format = 32;
    e.window = window;
    e.type = Atom(c, "_NET_WM_STATE");
    e.data.data32[0] = add ? 1 : 0;
    e.data.data32[1] = first;
    e.data.data32[2] = second;
    e.data.data32[3] = 1; // from an application
    xcb_send_event(c, 0, Root(c),
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&e));
    xcb_flush(c);
}

} // namespace

void DisplayProbe::Disconnect::operator()(xcb_connection_t* c) const {
    xcb_disconnect(c);
}

DisplayProbe::DisplayProbe() : connection_(xcb_connect(nullptr, nullptr)) {
    // xcb_connect never returns null: a failed connection is an object in an error state.
    xcb_connection_t* c = connection_.get();
    if (!c || xcb_connection_has_error(c))
        return;
    open_ = true;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const std::unique_ptr<xcb_get_property_reply_t, Free> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0, 1 << 16),
        nullptr));
    if (reply)
        xftDpi_ =
            XftDpi(std::string_view(static_cast<const char*>(xcb_get_property_value(reply.get())),
                                    std::size_t(xcb_get_property_value_length(reply.get()))));
}

bool DisplayProbe::LaunchedSessionBus(std::string_view user, std::string_view machineId) const {
    if (!open_ || user.empty() || machineId.empty())
        return false;
    xcb_connection_t* c = connection_.get();
    const std::string name =
        "_DBUS_SESSION_BUS_SELECTION_" + std::string(user) + "_" + std::string(machineId);
    // Only if the atom exists: a bus that was never launched here leaves none to make.
    const std::unique_ptr<xcb_intern_atom_reply_t, Free> atom(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, std::uint16_t(name.size()), name.data()), nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return false;
    const std::unique_ptr<xcb_get_selection_owner_reply_t, Free> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

int XftDpi(std::string_view resources) {
    constexpr std::string_view kName = "Xft.dpi:";
    while (!resources.empty()) {
        const std::size_t end = resources.find('\n');
        const std::string_view line = resources.substr(0, end);
        resources = end == std::string_view::npos ? std::string_view() : resources.substr(end + 1);
        if (line.substr(0, kName.size()) != kName)
            continue;
        const std::string value(line.substr(kName.size()));
        char* rest = nullptr;
        const double dpi = std::strtod(value.c_str(), &rest);
        if (rest != value.c_str() && std::isfinite(dpi) && dpi >= 1 && dpi <= 10000)
            return int(std::lround(dpi));
        return 0;
    }
    return 0;
}

bool CompositorRunning() {
    xcb_connection_t* c = Connection();
    if (!c)
        return false;
    char* host = nullptr;
    int display = 0, screen = 0;
    if (!xcb_parse_display(nullptr, &host, &display, &screen))
        screen = 0;
    std::free(host);
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    const std::unique_ptr<xcb_get_selection_owner_reply_t, Free> reply(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, Atom(c, name.c_str())),
                                      nullptr));
    return reply && reply->owner != XCB_NONE;
}

bool WindowManagerIgnoresPlaces() {
    xcb_connection_t* c = Connection();
    if (!c)
        return false;
    const std::string check =
        Property(c, Root(c), Atom(c, "_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW);
    if (check.size() != sizeof(xcb_window_t))
        return false;
    xcb_window_t wm = 0;
    std::memcpy(&wm, check.data(), sizeof wm);
    return Property(c, wm, Atom(c, "_NET_WM_NAME"), Atom(c, "UTF8_STRING")) == "wlroots wm";
}

bool XWaylandServer() {
    xcb_connection_t* c = Connection();
    if (!c)
        return false;
    // Its own extension came with XWayland 23; before, only its monitors' names tell.
    static constexpr char kName[] = "XWAYLAND";
    const std::unique_ptr<xcb_query_extension_reply_t, Free> reply(
        xcb_query_extension_reply(c, xcb_query_extension(c, sizeof kName - 1, kName), nullptr));
    if (reply && reply->present)
        return true;
    const QList<QScreen*> screens = QGuiApplication::screens();
    return std::any_of(screens.begin(), screens.end(), [](const QScreen* screen) {
        return screen->name().startsWith(QLatin1String(kName));
    });
}

void SkipTaskbar(QWidget& window) {
    xcb_connection_t* c = Connection();
    if (!c || !window.windowHandle())
        return;
    const xcb_window_t id = xcb_window_t(window.windowHandle()->winId());
    const xcb_atom_t state = Atom(c, "_NET_WM_STATE");
    const xcb_atom_t skip[] = {Atom(c, "_NET_WM_STATE_SKIP_TASKBAR"),
                               Atom(c, "_NET_WM_STATE_SKIP_PAGER")};
    if (window.isVisible()) {
        // A mapped window's state is the window manager's: only a request changes it.
        SendState(c, id, true, skip[0], skip[1]);
        return;
    }
    const std::string now = Property(c, id, state, XCB_ATOM_ATOM);
    std::vector<xcb_atom_t> atoms(now.size() / sizeof(xcb_atom_t));
    std::memcpy(atoms.data(), now.data(), atoms.size() * sizeof(xcb_atom_t));
    for (const xcb_atom_t a : skip)
        if (std::find(atoms.begin(), atoms.end(), a) == atoms.end())
            atoms.push_back(a);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                        std::uint32_t(atoms.size()), atoms.data());
    xcb_flush(c);
}

void AskKeepAbove(QWidget& window, bool on) {
    xcb_connection_t* c = Connection();
    if (!c || !window.windowHandle() || !window.isVisible())
        return;
    // Qt's QWindow::setFlags leaves a shown window's state as it was: only a
    // request to the window manager changes it.
    SendState(c, xcb_window_t(window.windowHandle()->winId()), // QWidget::winId() may be stale
              on, Atom(c, "_NET_WM_STATE_ABOVE"), Atom(c, "_NET_WM_STATE_STAYS_ON_TOP"));
}

} // namespace zorvane::qt
