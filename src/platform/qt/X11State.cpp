#include "platform/qt/X11State.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace zorvane::qt {
namespace {

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

} // namespace

void AskKeepAbove(QWidget& window, bool on) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !window.windowHandle() || !window.isVisible())
        return;
    // Qt's QWindow::setFlags leaves a shown window's state as it was: only a
    // request to the window manager changes it.
    xcb_connection_t* c = x11->connection();
    xcb_client_message_event_t e{};
    e.response_type = XCB_CLIENT_MESSAGE;
    e.format = 32;
    e.window = xcb_window_t(window.windowHandle()->winId()); // QWidget::winId() may be stale
    e.type = Atom(c, "_NET_WM_STATE");
    e.data.data32[0] = on ? 1 : 0; // add or remove
    e.data.data32[1] = Atom(c, "_NET_WM_STATE_ABOVE");
    e.data.data32[2] = Atom(c, "_NET_WM_STATE_STAYS_ON_TOP");
    e.data.data32[3] = 1; // from an application
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_send_event(c, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&e));
    xcb_flush(c);
}

} // namespace zorvane::qt
