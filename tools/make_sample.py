#!/usr/bin/env python3
"""make_sample.py OUT.bmp: the picture shown at first start.

A round badge holding the icon's landscape in a wooden ring, on the mask green.
With the outline cut on, the green goes and only the badge stays on the desktop.
"""

import math
import struct
import sys

from make_icon import OUTLINE, WOOD_DARK, WOOD_INNER, WOOD_LIGHT, lerp, scene

WIDTH, HEIGHT = 320, 240
MASK = (0, 128, 0)
CX, CY = 160.0, 120.0
OUTER, RING, INNER_LINE, OUTLINE_WIDTH = 112.0, 17.0, 2.5, 3.0
# The disc shows a little more than the unit square, so the sun clears the ring.
VIEW = 1.2


def colour(x, y):
    """The badge's colour at (x, y), or None outside it."""
    dx, dy = x - CX, y - CY
    r = math.hypot(dx, dy)
    if r > OUTER:
        return None
    if r > OUTER - OUTLINE_WIDTH:
        return OUTLINE
    if r > OUTER - RING:
        if r < OUTER - RING + INNER_LINE:
            return WOOD_INNER
        # light from the top left, shading round the ring
        light = 0.5 - 0.5 * (dx + dy) / (r * math.sqrt(2))
        return lerp(WOOD_DARK, WOOD_LIGHT, light)
    inner = OUTER - RING
    return scene(0.5 + dx / (2 * inner) * VIEW, 0.5 + dy / (2 * inner) * VIEW)


def render(samples=3):
    rows = []
    for py in range(HEIGHT):
        row = []
        for px in range(WIDTH):
            hits = []
            for sy in range(samples):
                for sx in range(samples):
                    c = colour(px + (sx + 0.5) / samples, py + (sy + 0.5) / samples)
                    if c is not None:
                        hits.append(c)
            if len(hits) * 2 < samples * samples:
                row.append(MASK)
                continue
            # a hard outer edge: blending into the green would leave a green fringe
            c = tuple(round(sum(h[i] for h in hits) / len(hits)) for i in range(3))
            row.append((0, 129, 0) if c == MASK else c)
        rows.append(row)
    return rows


def bmp24(rows):
    height, width = len(rows), len(rows[0])
    pad = b"\0" * (-width * 3 % 4)
    data = b"".join(
        b"".join(bytes((b, g, r)) for r, g, b in row) + pad for row in reversed(rows)
    )
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + data


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_sample.py OUT.bmp")
    with open(sys.argv[1], "wb") as f:
        f.write(bmp24(render()))


if __name__ == "__main__":
    main()
