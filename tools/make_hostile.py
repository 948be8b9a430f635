#!/usr/bin/env python3
"""Writes damaged and hostile pictures for the loader and program tests.

    tools/make_hostile.py build/hostile

Each category is a folder; manifest.tsv lists every input as
    category <TAB> expect <TAB> path <TAB> reason
where expect is "refuse" (must be refused with a message), "show" (must be
shown) or "any" (shown, or refused with a message: damage the decoder may
repair), and reason, when not empty, is a word the refusal must contain.
Everything is deterministic: fixed random starts, and ImageMagick only for the JPEG
and GIF bases. Device paths are not files; the tests hold their own list.
"""

import io
import os
import random
import shutil
import struct
import subprocess
import sys
import zlib

CONVERT = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"

# Reasons as the loader words them (UTF-8).
EMPTY = "空"
FOLDER = "フォルダー"
NOT_PICTURE = "画像ファイルではない"
TOO_LARGE = "大きすぎ"


# ---- builders

def bmp(w, h, bpp=24, pixels=None, top_down=False, palette=None, compression=0, body=None,
        clr_used=None, off_bits=None, header_size=40, planes=1, size_image=0):
    """A BITMAPINFOHEADER bitmap; pixels are 0xRRGGBB (or indices for 8 bpp), top row first."""
    pal = b""
    if palette is not None:
        pal = b"".join(struct.pack("<BBBB", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF, 0)
                       for c in palette)
    if body is None:
        rows = []
        aw, ah = abs(w), abs(h)
        for r in range(ah):
            y = r if top_down else ah - 1 - r
            row = bytearray()
            for x in range(aw):
                c = pixels[y * aw + x]
                if bpp == 8:
                    row.append(c)
                else:
                    row += bytes((c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF))
                    if bpp == 32:
                        row.append(0xFF)
            while len(row) % 4:
                row.append(0)
            rows.append(bytes(row))
        body = b"".join(rows)
    off = 14 + 40 + len(pal) if off_bits is None else off_bits
    info = struct.pack("<IiiHHIIiiII", header_size, w, -h if top_down else h, planes, bpp,
                       compression, size_image, 2835, 2835,
                       len(pal) // 4 if clr_used is None else clr_used, 0)
    data = info + pal + body
    return b"BM" + struct.pack("<IHHI", 14 + len(data), 0, 0, off) + data


def rle8_bitmap(w, h):
    """An 8-bit RLE bitmap: stripes of runs, end-of-line and end-of-bitmap codes."""
    body = bytearray()
    for y in range(h):
        x = 0
        while x < w:
            n = min(w - x, 5 + (y + x) % 7)
            body += bytes((n, (x // 3 + y) % 4))
            x += n
        body += b"\x00\x00"
    body += b"\x00\x01"
    return bmp(w, h, 8, palette=[0x008000, 0xC02020, 0x2020C0, 0xFFFFFF], compression=1,
               body=bytes(body))


def lzw_gif_data(indices, min_size=2):
    """LZW with a clear code before every pixel: the code width stays min_size + 1."""
    clear, end, width = 1 << min_size, (1 << min_size) + 1, min_size + 1
    acc = bits = 0
    out = bytearray()

    def code(c):
        nonlocal acc, bits
        acc |= c << bits
        bits += width
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8

    for i in indices:
        code(clear)
        code(i)
    code(end)
    if bits:
        out.append(acc & 0xFF)
    return bytes(out)


def sub_blocks(data):
    out = bytearray()
    for at in range(0, len(data), 255):
        chunk = data[at:at + 255]
        out.append(len(chunk))
        out += chunk
    return bytes(out)


def gif(screen_w, screen_h, left, top, w, h, indices, transparent=None, trailer=True,
        min_size=2, lzw=None, global_palette=True):
    palette = [0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF]
    out = bytearray(b"GIF89a")
    out += struct.pack("<HH", screen_w, screen_h)
    out += bytes((0x91 if global_palette else 0x11, 0, 0))
    if global_palette:
        for c in palette:
            out += bytes(((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF))
    if transparent is not None:
        out += bytes((0x21, 0xF9, 4, 1, 0, 0, transparent, 0))
    out += b"\x2c" + struct.pack("<HHHH", left, top, w, h) + b"\x00"
    out.append(min_size)
    out += sub_blocks(lzw if lzw is not None else lzw_gif_data(indices, min_size))
    out += b"\x00"
    if trailer:
        out += b"\x3b"
    return bytes(out)


def anim_gif(screen_w, screen_h, frames, loops=None, trailer=True):
    """Frames of (left, top, w, h, indices, delay, disposal); colours as gif()'s."""
    out = bytearray(gif(screen_w, screen_h, 0, 0, 0, 0, [])[:6 + 7 + 12])
    if loops is not None:
        out += b"\x21\xff\x0bNETSCAPE2.0\x03\x01" + struct.pack("<H", loops) + b"\x00"
    for left, top, w, h, indices, delay, disposal in frames:
        out += bytes((0x21, 0xF9, 4, disposal << 2 | 1)) + struct.pack("<H", delay) + b"\x03\x00"
        out += b"\x2c" + struct.pack("<HHHH", left, top, w, h) + b"\x00\x02"
        out += sub_blocks(lzw_gif_data(indices)) + b"\x00"
    if trailer:
        out += b"\x3b"
    return bytes(out)


def icon_body(size, bpp=24, colour=0x2060C0, height_factor=2, width=None, height=None):
    """A BITMAPINFOHEADER icon image (colour rows, then the AND mask)."""
    w = size if width is None else width
    h = size * height_factor if height is None else height
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bpp, 0, 0, 0, 0, 0, 0)
    row = bytearray()
    for x in range(size):
        row += bytes((colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF))
        if bpp == 32:
            row.append(0xFF if x % 4 else 0x00)
    while len(row) % 4:
        row.append(0)
    mask_row = bytes((size + 31) // 32 * 4)
    return info + bytes(row) * size + mask_row * size


def ico(entries, count=None):
    """entries: (width byte, height byte, bpp, body, size override, offset override)."""
    n = len(entries) if count is None else count
    out = bytearray(struct.pack("<HHH", 0, 1, n))
    offset = 6 + 16 * len(entries)
    bodies = []
    for (wb, hb, bpp, body, size, off) in entries:
        out += bytes((wb, hb, 0, 0)) + struct.pack("<HH", 1, bpp)
        out += struct.pack("<II", len(body) if size is None else size,
                           offset if off is None else off)
        offset += len(body)
        bodies.append(body)
    return bytes(out) + b"".join(bodies)


def png(w, h, rgb=(0x30, 0x90, 0x30), declared=None):
    """A truecolour PNG; declared=(w, h) writes other dimensions into its header."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    dw, dh = declared or (w, h)
    raw = b"".join(b"\x00" + bytes(rgb) * w for _ in range(h))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", dw, dh, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def convert(args, out_ext):
    """Runs ImageMagick and returns the bytes it wrote."""
    result = subprocess.run([CONVERT, *args, out_ext + ":-"], check=True,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return result.stdout


def jpeg_segments(data):
    """(marker, start, end) of each segment up to EOI; a scan runs to the next marker."""
    i, out = 2, []
    while i < len(data):
        marker = data[i + 1]
        if marker == 0xD9:
            out.append((marker, i, i + 2))
            break
        length = struct.unpack(">H", data[i + 2:i + 4])[0]
        end = i + 2 + length
        if marker == 0xDA:
            while not (data[end] == 0xFF and data[end + 1] != 0 and
                       not 0xD0 <= data[end + 1] <= 0xD7):
                end += 1
        out.append((marker, i, end))
        i = end
    return out


def jpeg_with_size(data, w, h):
    """The same JPEG with its frame header claiming w x h."""
    for marker, start, _ in jpeg_segments(data):
        if marker in (0xC0, 0xC1, 0xC2):
            b = bytearray(data)
            b[start + 5:start + 9] = struct.pack(">HH", h, w)
            return bytes(b)
    raise ValueError("no frame header")


def many_scans(progressive_gray, blocks, scans):
    """A progressive greyscale JPEG followed by `scans` more AC scans before its end.

    Each extra scan is a legal first AC scan (Ah = Al = 0, so no warning) holding
    one end-of-band run over every block: two bytes of data that still make the
    decoder walk the whole image once per scan.
    """
    r = blocks.bit_length() - 1           # EOB run class: 2^r + r extra bits
    extra = blocks - (1 << r)
    assert r <= 14
    dht = bytes((0xFF, 0xC4)) + struct.pack(">H", 2 + 1 + 16 + 1) + bytes((0x10,))
    dht += bytes([1] + [0] * 15) + bytes((r << 4,))
    # Code "0" (1 bit), then r extra bits, padded with ones.
    bits = "0" + (format(extra, "0%db" % r) if r else "")
    bits += "1" * (-len(bits) % 8)
    data = bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))
    assert b"\xff" not in data
    sos = bytes((0xFF, 0xDA)) + struct.pack(">H", 8) + bytes((1, 1, 0x00, 1, 63, 0x00))
    eoi = progressive_gray.rindex(b"\xff\xd9")
    return progressive_gray[:eoi] + dht + (sos + data) * scans + b"\xff\xd9"


def flip_bits(data, start, keep):
    """Flips a few bits past the first `keep` bytes (the format's signature)."""
    rng = random.Random(start)
    b = bytearray(data)
    for _ in range(rng.randint(1, 12)):
        at = rng.randrange(keep, len(b))
        b[at] ^= 1 << rng.randrange(8)
    return bytes(b)


# ---- the set

class Writer:
    def __init__(self, root):
        self.root = root
        self.rows = []

    def add(self, category, name, data, expect, reason=""):
        folder = os.path.join(self.root, category)
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        self.rows.append((category, expect, category + "/" + name, reason))

    def folder(self, category, name, expect, reason=""):
        path = os.path.join(self.root, category, name)
        os.makedirs(path, exist_ok=True)
        self.rows.append((category, expect, category + "/" + name, reason))
        return path

    def manifest(self):
        with open(os.path.join(self.root, "manifest.tsv"), "w", encoding="utf-8") as f:
            for row in self.rows:
                f.write("\t".join(row) + "\n")


def pattern(w, h):
    colours = [0x008000, 0x000000, 0xFFFFFF, 0xC02020, 0x2020C0, 0x12AB34]
    return [colours[(x // 4 + y // 4) % len(colours)] for y in range(h) for x in range(w)]


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_hostile.py OUTPUT_FOLDER")
    root = sys.argv[1]
    if os.path.isdir(root):
        shutil.rmtree(root)
    os.makedirs(root)
    out = Writer(root)

    # Bases: every damaged file below starts from one of these.
    base_bmp = bmp(48, 32, 24, pattern(48, 32))
    base_rle = rle8_bitmap(40, 24)
    base_jpg = convert(["-size", "96x64", "xc:white", "-fill", "red", "-draw",
                        "circle 30,30 30,10", "-fill", "blue", "-draw",
                        "rectangle 50,10 90,50", "-quality", "90"], "jpg")
    base_gif = convert(["-size", "64x48", "gradient:red-blue", "-colors", "64"], "gif")
    base_small_gif = gif(16, 12, 0, 0, 16, 12, [(x + y) % 4 for y in range(12) for x in range(16)],
                         transparent=3)
    base_ico = ico([(16, 16, 24, icon_body(16), None, None),
                    (32, 32, 32, icon_body(32, 32, 0xC02020), None, None)])
    base_png = png(20, 10)

    # Valid pictures: the "before" picture of every test, and the soak's good files.
    out.add("valid", "good.bmp", base_bmp, "show")
    out.add("valid", "good.jpg", base_jpg, "show")
    out.add("valid", "good.gif", base_gif, "show")
    out.add("valid", "good.ico", base_ico, "show")
    out.add("valid", "large.bmp", bmp(640, 480, 24, [0xC08040] * (640 * 480)), "show")

    # 0-byte files, each extension the program offers (and a Japanese name).
    for name in ["empty.bmp", "empty.jpg", "empty.gif", "empty.ico", "EMPTY.JPG", "空の画像.gif"]:
        out.add("empty", name, b"", "refuse", EMPTY)

    # Cut off at each eighth of the length.
    for label, data, ext in [("jpeg", base_jpg, "jpg"), ("bmp", base_bmp, "bmp"),
                             ("gif", base_gif, "gif"), ("ico", base_ico, "ico")]:
        for eighth in range(1, 8):
            out.add("truncated", "%s_cut_%dof8.%s" % (label, eighth, ext),
                    data[:len(data) * eighth // 8], "any")

    # Random bit flips behind the signature, from fixed random starts.
    for label, data, ext, keep in [("bmp", base_bmp, "bmp", 2), ("bmprle", base_rle, "bmp", 2),
                                   ("jpeg", base_jpg, "jpg", 3), ("gif", base_gif, "gif", 6),
                                   ("gifsmall", base_small_gif, "gif", 6),
                                   ("ico", base_ico, "ico", 6)]:
        for n in range(1, 9):
            out.add("bitflip", "%s_flip%d.%s" % (label, n, ext),
                    flip_bits(data, n * 7919 + len(label), keep), "any")

    # Headers claiming sizes that are huge, negative or zero.
    small = pattern(4, 4)
    huge = [
        ("bmp_65535x65535.bmp", bmp(65535, 65535, 24, body=b"\x55" * 64), "refuse", TOO_LARGE),
        ("bmp_width_2p31m1.bmp", bmp(0x7FFFFFFF, 1, 24, body=b"\x55" * 64), "refuse", ""),
        ("bmp_width_2p31m1_32bpp.bmp", bmp(0x7FFFFFFF, 2, 32, body=b"\x55" * 64), "refuse", ""),
        ("bmp_width_neg2p31.bmp", bmp(-0x80000000, 1, 24, body=b"\x55" * 64), "refuse", ""),
        ("bmp_height_neg2p31.bmp", bmp(1, -0x80000000, 24, body=b"\x55" * 64), "refuse", ""),
        ("bmp_width_neg1.bmp", bmp(-1, 4, 24, body=b"\x55" * 64), "refuse", ""),
        ("bmp_width_0.bmp", bmp(0, 4, 24, body=b"\x55" * 64), "refuse", ""),
        ("bmp_height_0.bmp", bmp(4, 0, 24, body=b"\x55" * 64), "refuse", ""),
        ("bmp_16385x1.bmp", bmp(16385, 1, 24, body=b"\x55" * 64), "refuse", TOO_LARGE),
        ("bmp_16384x4097.bmp", bmp(16384, 4097, 24, body=b"\x55" * 64), "refuse", TOO_LARGE),
        ("gif_65535x65535.gif", gif(65535, 65535, 0, 0, 65535, 65535, [0]), "refuse", ""),
        ("gif_screen_65535.gif", gif(65535, 65535, 0, 0, 1, 1, [0]), "refuse", TOO_LARGE),
        ("gif_frame_65535.gif", gif(1, 1, 0, 0, 65535, 65535, [0]), "refuse", ""),
        ("gif_frame_0x0.gif", gif(4, 4, 0, 0, 0, 0, []), "any", ""),
        ("jpeg_65535x65535.jpg", jpeg_with_size(base_jpg, 65535, 65535), "refuse", ""),
        ("jpeg_height_0.jpg", jpeg_with_size(base_jpg, 96, 0), "refuse", ""),
        ("jpeg_width_0.jpg", jpeg_with_size(base_jpg, 0, 64), "refuse", ""),
        ("ico_inner_65535.ico", ico([(0, 0, 24, icon_body(16, width=65535, height=131070),
                                      None, None)]), "refuse", ""),
        ("ico_inner_negative.ico", ico([(16, 16, 24, icon_body(16, width=-16, height=-32),
                                         None, None)]), "any", ""),
        ("ico_png_65535.ico", ico([(0, 0, 32, png(4, 4, declared=(65535, 65535)), None, None)]),
         "refuse", ""),
        ("bmp_4x4_ok.bmp", bmp(4, 4, 24, small), "show", ""),
    ]
    for name, data, expect, reason in huge:
        out.add("huge", name, data, expect, reason)

    # Other lies in a bitmap's header.
    fields = [
        ("clrused_huge.bmp", bmp(4, 4, 8, [1] * 16, palette=[0, 0xFFFFFF], clr_used=0xFFFFFFF0)),
        ("offbits_past_end.bmp", bmp(4, 4, 24, small, off_bits=0x7FFFFFF0)),
        ("offbits_zero.bmp", bmp(4, 4, 24, small, off_bits=0)),
        ("header_size_huge.bmp", bmp(4, 4, 24, small, header_size=0xFFFFFFF0)),
        ("header_size_small.bmp", bmp(4, 4, 24, small, header_size=4)),
        ("planes_zero.bmp", bmp(4, 4, 24, small, planes=0)),
        ("bpp_zero.bmp", bmp(4, 4, 0, body=b"\x00" * 64)),
        ("bpp_odd.bmp", bmp(4, 4, 7, body=b"\x00" * 64)),
        ("compression_bogus.bmp", bmp(4, 4, 24, small, compression=99)),
        ("rle8_runs_past_row.bmp", bmp(4, 4, 8, palette=[0, 0xFFFFFF], compression=1,
                                       body=b"\xff\x01" * 40 + b"\x00\x01")),
        ("rle8_delta_past_end.bmp", bmp(4, 4, 8, palette=[0, 0xFFFFFF], compression=1,
                                        body=b"\x00\x02\xff\xff" * 8 + b"\x00\x01")),
        ("rle8_no_end.bmp", bmp(4, 4, 8, palette=[0, 0xFFFFFF], compression=1,
                                body=b"\x02\x01")),
        ("bitfields_no_masks.bmp", bmp(4, 4, 16, compression=3, body=b"\x00" * 8)),
        ("size_image_huge.bmp", bmp(4, 4, 24, small, size_image=0xFFFFFFF0)),
    ]
    for name, data in fields:
        out.add("bmpfields", name, data, "any")

    # GIF structure.
    idx = [(x + y) % 4 for y in range(4) for x in range(4)]
    gifs = [
        ("no_trailer.gif", gif(4, 4, 0, 0, 4, 4, idx, trailer=False), "any"),
        ("frame_outside.gif", gif(10, 10, 1000, 1000, 4, 4, idx), "any"),
        ("frame_partly_outside.gif", gif(10, 10, 8, 8, 4, 4, idx), "any"),
        ("frame_at_65535.gif", gif(10, 10, 65535, 65535, 4, 4, idx), "any"),
        ("no_image.gif", b"GIF89a" + struct.pack("<HH", 4, 4) + b"\x00\x00\x00\x3b", "refuse"),
        ("header_only.gif", b"GIF89a" + struct.pack("<HH", 4, 4) + b"\x91\x00\x00", "refuse"),
        ("lzw_min_size_12.gif", gif(4, 4, 0, 0, 4, 4, idx, min_size=12, lzw=b"\x00" * 20), "any"),
        ("lzw_min_size_0.gif", gif(4, 4, 0, 0, 4, 4, idx, min_size=0, lzw=b"\x00" * 20), "any"),
        ("lzw_garbage.gif", gif(4, 4, 0, 0, 4, 4, idx,
                                lzw=bytes(random.Random(5).randrange(256) for _ in range(300))),
         "any"),
        ("lzw_empty.gif", gif(4, 4, 0, 0, 4, 4, idx, lzw=b""), "any"),
        ("no_palette.gif", gif(4, 4, 0, 0, 4, 4, idx, global_palette=False), "refuse"),
        ("transparent_index_out_of_range.gif", gif(4, 4, 0, 0, 4, 4, idx, transparent=200), "any"),
        ("extension_unterminated.gif", b"GIF89a" + struct.pack("<HH", 4, 4) +
         b"\x00\x00\x00\x21\xfe\xff" + b"A" * 100, "any"),
        ("screen_0x0.gif", gif(0, 0, 0, 0, 4, 4, idx), "any"),
        ("many_frames.gif", gif(4, 4, 0, 0, 4, 4, idx, trailer=False)
         + (b"\x2c" + struct.pack("<HHHH", 0, 0, 4, 4) + b"\x00\x02"
            + sub_blocks(lzw_gif_data(idx)) + b"\x00") * 2000 + b"\x3b", "any"),
    ]
    for name, data, expect in gifs:
        out.add("gif", name, data, expect)

    # Animated GIFs that could make the program busy, slow or large while they play.
    dot = [0]
    square = [(x + y) % 3 for y in range(4) for x in range(4)]
    cut = anim_gif(4, 4, [(0, 0, 4, 4, square, 10, 2)] * 3)
    animated = [
        ("frames_100000_delay_0.gif",
         anim_gif(4, 4, [(i % 4, i // 4 % 4, 1, 1, dot, 0, 1) for i in range(100000)]), "show"),
        ("frames_outside_screen.gif",
         anim_gif(8, 8, [(0, 0, 4, 4, square, 5, 1), (1000, 1000, 4, 4, square, 5, 2),
                         (6, 6, 4, 4, square, 5, 3), (65535, 65535, 1, 1, dot, 5, 1)]), "show"),
        ("screen_16384_tiny_frames.gif",
         anim_gif(16384, 16384, [(i * 100, i * 100, 1, 1, dot, 2, 2) for i in range(50)]),
         "refuse"),
        ("screen_4096_tiny_frames.gif",
         anim_gif(4096, 4096, [(i * 80, i * 80, 2, 2, [1, 2, 3, 1], 2, 2) for i in range(50)]),
         "show"),
        ("last_frame_cut.gif", cut[:len(cut) - 8], "show"),
        ("loop_65535.gif", anim_gif(4, 4, [(0, 0, 4, 4, square, 2, 2),
                                           (1, 1, 2, 2, [1, 1, 1, 1], 2, 1)], loops=65535), "show"),
        ("previous_first.gif", anim_gif(4, 4, [(0, 0, 4, 4, square, 2, 3)] * 3), "show"),
    ]
    for name, data, expect in animated:
        out.add("animated", name, data, expect, TOO_LARGE if expect == "refuse" else "")

    # ICO directories that lie.
    body16 = icon_body(16)
    icos = [
        ("offset_past_end.ico", ico([(16, 16, 24, body16, None, 0x10000)]), "refuse"),
        ("offset_wraps.ico", ico([(16, 16, 24, body16, 0x20, 0xFFFFFFF0)]), "refuse"),
        ("offset_zero.ico", ico([(16, 16, 24, body16, None, 0)]), "any"),
        ("size_past_end.ico", ico([(16, 16, 24, body16, 0x7FFFFFFF, None)]), "any"),
        ("size_zero.ico", ico([(16, 16, 24, body16, 0, None)]), "any"),
        ("count_0.ico", ico([(16, 16, 24, body16, None, None)], count=0), "refuse", NOT_PICTURE),
        ("count_65535.ico", ico([(16, 16, 24, body16, None, None)], count=65535), "any"),
        ("count_2_one_entry.ico", ico([(16, 16, 24, body16, None, None)], count=2), "any"),
        ("dir_only.ico", struct.pack("<HHH", 0, 1, 3), "refuse"),
        ("entry_bpp_0.ico", ico([(16, 16, 0, body16, None, None)]), "any"),
        ("entry_says_256_body_16.ico", ico([(0, 0, 24, body16, None, None)]), "any"),
        ("png_inside_cut.ico", ico([(20, 10, 32, png(20, 10)[:40], None, None)]), "any"),
        ("good_and_bad.ico", ico([(16, 16, 24, body16, None, None),
                                  (32, 32, 24, icon_body(32), None, 0x7FFF0000)]), "any"),
    ]
    for row in icos:
        name, data, expect = row[:3]
        out.add("ico", name, data, expect, row[3] if len(row) > 3 else "")

    # Other formats under the program's extensions.
    tiff = b"II*\x00\x08\x00\x00\x00" + b"\x00" * 32
    for name, data in [("png.jpg", base_png), ("png.bmp", base_png), ("png.gif", base_png),
                       ("png.ico", base_png), ("tiff.jpg", tiff),
                       ("webp.gif", b"RIFF\x24\x00\x00\x00WEBPVP8 " + b"\x00" * 24),
                       ("exe.bmp", b"MZ" + b"\x90" * 200),
                       ("text.jpg", "これは画像ではありません。\r\n".encode("utf-8")),
                       ("cursor.ico", b"\x00\x00\x02\x00\x01\x00" + base_ico[6:])]:
        out.add("renamed", name, data, "refuse", NOT_PICTURE)

    # Progressive JPEGs: the usual script, then thousands of extra scans.
    prog_small = convert(["-size", "256x256", "gradient:white-black", "-colorspace", "Gray",
                          "-interlace", "Plane", "-quality", "80"], "jpg")
    prog_large = convert(["-size", "1024x1024", "gradient:white-black", "-colorspace", "Gray",
                          "-interlace", "Plane", "-quality", "80"], "jpg")
    out.add("progressive", "plain_progressive.jpg", prog_small, "show")
    out.add("progressive", "scans_2000.jpg", many_scans(prog_small, 32 * 32, 2000), "any")
    out.add("progressive", "scans_200000.jpg", many_scans(prog_large, 128 * 128, 200000), "any")

    # A folder with a picture's name (and one with a file inside it).
    out.folder("folder", "x.bmp", "refuse", FOLDER)
    inner = out.folder("folder", "y.jpg", "refuse", FOLDER)
    with open(os.path.join(inner, "inside.jpg"), "wb") as f:
        f.write(base_jpg)

    out.manifest()
    print("make_hostile: %d inputs in %s" % (len(out.rows), root))


if __name__ == "__main__":
    main()
