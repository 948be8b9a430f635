#!/usr/bin/python3
"""A tray host over D-Bus, as desktop panels are: the StatusNotifierWatcher a program's tray
icon registers with, and the host's side of the icon's exported menu (com.canonical.dbusmenu);
or, as desktop shells have, a notification service.

  sni_host.py watch FILE      owns the watcher and says a host is there; each item that
                              registers is appended to FILE as its bus name ("ready" first)
  sni_host.py menu NAME       the item's menu, one line per entry: ID<TAB>LABEL<TAB>MARK
                              (MARK 1 checked, 0 not, - no mark; a separator is "ID<TAB>-<TAB>-")
  sni_host.py click NAME TEXT clicks the first entry whose label starts with TEXT, as a host
                              does: AboutToShow on the menu, then the "clicked" event
  sni_host.py activate NAME   a left click on the icon (the item's Activate method)
  sni_host.py notify FILE     the desktop's notification service instead: owns
                              org.freedesktop.Notifications; FILE gets "ready", then for each
                              notification a line APP<TAB>ICON<TAB>SUMMARY<TAB>BODY (line ends
                              in the body as \n)
"""
import sys

from gi.repository import Gio, GLib

WATCHER = "org.kde.StatusNotifierWatcher"
WATCHER_XML = """<node><interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
</interface></node>"""


def serve(bus, name, xml, object_path, call, get, path):
    """Serves the interface in xml at object_path under name; "ready" goes to path once the
    name is ours. Returns when the name is lost."""
    info = Gio.DBusNodeInfo.new_for_xml(xml).interfaces[0]
    bus.register_object(object_path, info, call, get, None)
    loop = GLib.MainLoop()

    def owned(*_):
        with open(path, "a") as f:
            f.write("ready\n")

    Gio.bus_own_name_on_connection(bus, name, Gio.BusNameOwnerFlags.NONE, owned,
                                   lambda *_: loop.quit())
    loop.run()


def watch(path):
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    items = []

    def call(conn, sender, _path, _iface, method, params, invocation):
        if method == "RegisterStatusNotifierItem":
            # An item names its bus name or, alone, its object path on the caller's name.
            service = params.unpack()[0]
            name = service if not service.startswith("/") else sender
            items.append(name)
            with open(path, "a") as f:
                f.write(name + "\n")
            conn.emit_signal(None, "/StatusNotifierWatcher", WATCHER,
                             "StatusNotifierItemRegistered", GLib.Variant("(s)", (name,)))
        invocation.return_value(None)

    def get(_conn, _sender, _path, _iface, prop):
        return {"RegisteredStatusNotifierItems": GLib.Variant("as", items),
                "IsStatusNotifierHostRegistered": GLib.Variant("b", True),
                "ProtocolVersion": GLib.Variant("i", 0)}[prop]

    serve(bus, WATCHER, WATCHER_XML, "/StatusNotifierWatcher", call, get, path)


NOTIFICATIONS = "org.freedesktop.Notifications"
NOTIFICATIONS_XML = """<node><interface name="org.freedesktop.Notifications">
  <method name="Notify">
    <arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
    <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
    <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/>
    <arg type="u" direction="out"/></method>
  <method name="GetCapabilities"><arg type="as" direction="out"/></method>
  <method name="GetServerInformation"><arg type="s" direction="out"/><arg type="s" direction="out"/>
    <arg type="s" direction="out"/><arg type="s" direction="out"/></method>
</interface></node>"""


def notify(path):
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    shown = [0]

    def call(_conn, _sender, _path, _iface, method, params, invocation):
        if method == "Notify":
            app, _replaces, icon, summary, body = params.unpack()[:5]
            shown[0] += 1
            with open(path, "a") as f:
                f.write("\t".join((app, icon, summary, body.replace("\n", "\\n"))) + "\n")
            invocation.return_value(GLib.Variant("(u)", (shown[0],)))
        elif method == "GetCapabilities":
            invocation.return_value(GLib.Variant("(as)", (["body"],)))
        else:
            invocation.return_value(GLib.Variant("(ssss)", ("e2e", "zorvane", "1", "1.2")))

    serve(bus, NOTIFICATIONS, NOTIFICATIONS_XML, "/org/freedesktop/Notifications", call, None,
          path)


def item_call(bus, name, path, iface, method, args, reply=None):
    return bus.call_sync(name, path, iface, method, args,
                         GLib.VariantType(reply) if reply else None,
                         Gio.DBusCallFlags.NONE, 5000, None)


def menu_path(bus, name):
    got = item_call(bus, name, "/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
                    GLib.Variant("(ss)", ("org.kde.StatusNotifierItem", "Menu")), "(v)")
    return got.unpack()[0]


def entries(bus, name, path):
    layout = item_call(bus, name, path, "com.canonical.dbusmenu", "GetLayout",
                       GLib.Variant("(iias)", (0, -1, [])), "(u(ia{sv}av))").unpack()[1]
    for child in layout[2]:
        ident, props = child[0], child[1]
        if props.get("type") == "separator":
            yield ident, None, None
            continue
        mark = props.get("toggle-state") if props.get("toggle-type") else None
        yield ident, props.get("label", ""), mark


def main(argv):
    if argv[1] == "watch":
        return watch(argv[2])
    if argv[1] == "notify":
        return notify(argv[2])
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    name = argv[2]
    if argv[1] == "activate":
        item_call(bus, name, "/StatusNotifierItem", "org.kde.StatusNotifierItem", "Activate",
                  GLib.Variant("(ii)", (10, 10)))
        return 0
    path = menu_path(bus, name)
    if argv[1] == "menu":
        for ident, label, mark in entries(bus, name, path):
            shown = "-" if mark is None else str(int(mark == 1))
            print(f"{ident}\t{'-' if label is None else label}\t{shown}")
        return 0
    if argv[1] == "click":
        for ident, label, _ in entries(bus, name, path):
            if label is not None and label.startswith(argv[3]):
                item_call(bus, name, path, "com.canonical.dbusmenu", "AboutToShow",
                          GLib.Variant("(i)", (0,)))
                item_call(bus, name, path, "com.canonical.dbusmenu", "Event",
                          GLib.Variant("(isvu)", (ident, "clicked", GLib.Variant("i", 0), 0)))
                return 0
        print(f"no entry {argv[3]!r}", file=sys.stderr)
        return 1
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv) or 0)
