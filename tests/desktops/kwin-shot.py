# The whole KWin desktop as a PPM image on stdout, through KWin's screenshot interface,
# which writes raw pixels into a pipe it is handed (KWin must run with
# KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 to answer a program with no desktop entry).
import os
import sys
import threading

from gi.repository import Gio, GLib

bus = Gio.bus_get_sync(Gio.BusType.SESSION)
read_end, write_end = os.pipe()
fds = Gio.UnixFDList.new()
handle = fds.append(write_end)
os.close(write_end)  # KWin holds its own copy: the pipe ends when it has written
data = bytearray()


def drain():
    while chunk := os.read(read_end, 1 << 20):
        data.extend(chunk)


reader = threading.Thread(target=drain)
reader.start()
reply, _ = bus.call_with_unix_fd_list_sync(
    "org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "CaptureWorkspace",
    GLib.Variant("(a{sv}h)", ({"native-resolution": GLib.Variant("b", True)}, handle)),
    GLib.VariantType("(a{sv})"), Gio.DBusCallFlags.NONE, 10000, fds, None)
del fds
reader.join(10)
info = reply.unpack()[0]
width, height, stride = info["width"], info["height"], info["stride"]
# QImage's 32-bit formats (RGB32, ARGB32 and its premultiplied kind): B, G, R, A in memory.
if info.get("type") != "raw" or info.get("format") not in (4, 5, 6) or len(data) < stride * height:
    sys.exit(f"kwin-shot: unexpected image {info} of {len(data)} bytes")
out = bytearray(b"P6\n%d %d\n255\n" % (width, height))
for y in range(height):
    row = data[y * stride:y * stride + width * 4]
    rgb = bytearray(width * 3)
    rgb[0::3], rgb[1::3], rgb[2::3] = row[2::4], row[1::4], row[0::4]
    out += rgb
sys.stdout.buffer.write(out)
