#!/usr/bin/env python3
"""Writes assets/zorvane.ico: a small framed landscape, 32x32 and 16x16, 256 colours.

make_sample.py draws the same landscape (scene below) in the first-start picture.
"""

import math
import os
import struct
import sys


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
# inner line widths. Whole pixels at 16: half-pixel edges there turn to mud.
GEOMETRY = {
    32: ((1.0, 3.0, 31.0, 29.0), 3.0, 0.9, 3.2, 0.6),
    16: ((0.0, 2.0, 16.0, 14.0), 1.5, 1.0, 2.0, 0.0),
}


def rounded_inside(x, y, box, r):
    l, t, rt, b = box
    if not (l <= x <= rt and t <= y <= b):
        return False
    cx = min(max(x, l + r), rt - r)
    cy = min(max(y, t + r), b - r)
    return math.hypot(x - cx, y - cy) <= r


def icon_colour(x, y, size):
    """The colour at (x, y) in pixels, or None outside the icon."""
    box, radius, outline, frame, inner = GEOMETRY[size]
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


def render(size, samples=8):
    """Rows of RGB tuples, or None for see-through pixels."""
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
            if len(hits) * 2 < samples * samples:
                row.append(None)
            else:
                # edge pixels average only the icon's own colours: no dark fringe
                row.append(tuple(round(sum(c[i] for c in hits) / len(hits)) for i in range(3)))
        rows.append(row)
    return rows


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
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "assets", "zorvane.ico")
    with open(path, "wb") as f:
        f.write(make_ico())


if __name__ == "__main__":
    main()
