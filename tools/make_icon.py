#!/usr/bin/env python3
"""Draws the program icon: a small framed landscape.

  make_icon.py [PATH]          assets/zorvane.ico (or PATH): 32x32 and 16x16, 256 colours
  make_icon.py --png SIZE PATH a SIZExSIZE RGBA PNG, drawn at that size (desktop menus)

make_sample.py draws the same landscape (scene below) in the first-start picture.
"""

import math
import os
import struct
import sys
import zlib


def lerp(a, b, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def hexrgb(s):
    return tuple(int(s[i : i + 2], 16) for i in (0, 2, 4))


SKY_TOP, SKY_LOW = hexrgb("3C8DE0"), hexrgb("BEE3FF")
SUN, SUN_RIM = hexrgb("FFD54A"), hexrgb("F29F2E")
FAR_ROCK, NEAR_ROCK, SNOW = hexrgb("7483A6"), hexrgb("56698F"), hexrgb("F4F8FF")
HILL_TOP, HILL_LOW, FIELD = hexrgb("5DBB4F"), hexrgb("2F7D3A"), hexrgb("3E9B45")


def scene(u, v):
    """The landscape at (u, v) in the unit square, u to the right, v down."""
    if v > 0.84 + 0.05 * math.cos(u * 4.0 + 1.0):
        return FIELD
    hill = 0.66 + 0.07 * math.sin(u * 5.5 + 0.6)
    if v > hill:
        return lerp(HILL_TOP, HILL_LOW, (v - hill) / 0.3)
    # near mountain, peak (0.72, 0.42)
    if v > 0.42 + abs(u - 0.72) * 1.1:
        return NEAR_ROCK
    # far mountain, peak (0.34, 0.22), snow above its shoulders
    if v > 0.22 + abs(u - 0.34) * 1.25:
        snow = 0.40 + 0.025 * math.sin(u * 60.0)
        return SNOW if v < snow else FAR_ROCK
    d = math.hypot(u - 0.78, v - 0.2)
    if d < 0.1:
        return SUN
    if d < 0.125:
        return SUN_RIM
    return lerp(SKY_TOP, SKY_LOW, v / 0.65)


OUTLINE, WOOD_LIGHT, WOOD_DARK, WOOD_INNER = (
    hexrgb("4A2E12"),
    hexrgb("DDA955"),
    hexrgb("A56B2A"),
    hexrgb("6B4420"),
)

# Per size: outer box (left, top, right, bottom), corner radius, outline, frame and
# inner line widths. Whole pixels below 32: half-pixel edges there turn to mud.
GEOMETRY = {
    32: ((1.0, 3.0, 31.0, 29.0), 3.0, 0.9, 3.2, 0.6),
    24: ((0.0, 2.0, 24.0, 22.0), 2.0, 1.0, 3.0, 0.0),
    22: ((0.0, 2.0, 22.0, 20.0), 2.0, 1.0, 3.0, 0.0),
    16: ((0.0, 2.0, 16.0, 14.0), 1.5, 1.0, 2.0, 0.0),
}


def geometry(size):
    """GEOMETRY's entry, or above 32 the 32 one scaled: the same picture, only finer."""
    if size in GEOMETRY:
        return GEOMETRY[size]
    if size < 32:
        raise ValueError(f"no icon geometry for {size}x{size} (known below 32: 16, 22, 24)")
    box, *widths = GEOMETRY[32]
    k = size / 32
    return (tuple(v * k for v in box), *(w * k for w in widths))


def rounded_inside(x, y, box, r):
    l, t, rt, b = box
    if not (l <= x <= rt and t <= y <= b):
        return False
    cx = min(max(x, l + r), rt - r)
    cy = min(max(y, t + r), b - r)
    return math.hypot(x - cx, y - cy) <= r


def icon_colour(x, y, size):
    """The colour at (x, y) in pixels, or None outside the icon."""
    box, radius, outline, frame, inner = geometry(size)
    if not rounded_inside(x, y, box, radius):
        return None
    l, t, r, b = box
    edge = min(x - l, r - x, y - t, b - y)
    if edge < outline:
        return OUTLINE
    if edge < frame:
        # light from the top left
        lit = (x - l) + (y - t) < (r - x) + (b - y)
        return WOOD_INNER if edge > frame - inner else (WOOD_LIGHT if lit else WOOD_DARK)
    return scene((x - l - frame) / (r - l - 2 * frame), (y - t - frame) / (b - t - 2 * frame))


def sample(size, samples):
    """Rows of (RGB, coverage 0..1) per pixel, samples x samples points a pixel; RGB is
    None where the icon covers nothing."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            hits = []
            for sy in range(samples):
                for sx in range(samples):
                    c = icon_colour(
                        px + (sx + 0.5) / samples, py + (sy + 0.5) / samples, size
                    )
                    if c is not None:
                        hits.append(c)
            # edge pixels average only the icon's own colours: no dark fringe
            rgb = tuple(round(sum(c[i] for c in hits) / len(hits)) for i in range(3)) if hits else None
            row.append((rgb, len(hits) / samples**2))
        rows.append(row)
    return rows


def render(size, samples=8):
    """Rows of RGB tuples, or None for see-through pixels (an icon's AND mask has no
    partial cover)."""
    return [[rgb if cover >= 0.5 else None for rgb, cover in row] for row in sample(size, samples)]


def png_rgba(size):
    """A PNG of the icon at size x size, edges in partial alpha."""
    # about 64 samples a pixel at 32 and below, fewer as pixels get finer
    samples = max(3, min(8, 256 // size))
    raw = b""
    for row in sample(size, samples):
        raw += b"\0" + b"".join(
            bytes((*(rgb or (0, 0, 0)), round(cover * 255))) for rgb, cover in row
        )

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (
        b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", header)
        + chunk(b"IDAT", zlib.compress(raw, 9))
        + chunk(b"IEND", b"")
    )


def median_cut(colours, count):
    boxes = [sorted(set(colours))]
    while len(boxes) < count:
        boxes.sort(key=lambda bx: max(max(c[i] for c in bx) - min(c[i] for c in bx) for i in range(3)))
        widest = boxes.pop()
        if len(widest) < 2:
            boxes.append(widest)
            break
        axis = max(range(3), key=lambda i: max(c[i] for c in widest) - min(c[i] for c in widest))
        widest.sort(key=lambda c: c[axis])
        half = len(widest) // 2
        boxes += [widest[:half], widest[half:]]
    return [tuple(round(sum(c[i] for c in bx) / len(bx)) for i in range(3)) for bx in boxes]


def dib_8bit(rows):
    """BITMAPINFOHEADER, palette, colour rows and AND mask of one icon image."""
    size = len(rows)
    used = [c for row in rows for c in row if c is not None]
    # index 0 stays black: see-through pixels must be black under a set AND bit
    palette = [(0, 0, 0)] + median_cut(used, 255)
    palette += [(0, 0, 0)] * (256 - len(palette))

    def nearest(c):
        return min(range(1, 256), key=lambda i: sum((a - b) ** 2 for a, b in zip(c, palette[i])))

    cache = {}
    out = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    out += b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    for row in reversed(rows):
        out += bytes(0 if c is None else cache.setdefault(c, nearest(c)) for c in row)
    mask_row = (size + 31) // 32 * 4
    for row in reversed(rows):
        bits = bytearray(mask_row)
        for x, c in enumerate(row):
            if c is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bytes(bits)
    return out


def make_ico(sizes=(32, 16)):
    images = [(s, dib_8bit(render(s))) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, dib in images:
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 8, len(dib), offset)
        offset += len(dib)
    return out + b"".join(dib for _, dib in images)


def main():
    args = sys.argv[1:]
    if args[:1] == ["--png"]:
        if len(args) != 3 or not args[1].isdigit() or not 16 <= int(args[1]) <= 1024:
            sys.exit("usage: make_icon.py --png SIZE(16..1024) PATH")
        data, path = png_rgba(int(args[1])), args[2]
    else:
        root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
        data, path = make_ico(), args[0] if args else os.path.join(root, "assets", "zorvane.ico")
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
