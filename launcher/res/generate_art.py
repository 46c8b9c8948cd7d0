#!/usr/bin/env python3
"""Draws the program's pictures: the window skin (bitmap 129), the bar's
fill (bitmap 134) and the icon (128). Run by the build; deterministic, so
every build gets the same bytes.

usage: generate_art.py OUTPUT_DIRECTORY
"""
import math
import os
import struct
import sys

SKIN_WIDTH, SKIN_HEIGHT = 400, 300

# Bitmap 134, one colour per row from the top.
FILL_ROWS = [
    (255, 247, 168), (255, 241, 168), (255, 233, 156), (255, 223, 136),
    (255, 212, 112), (255, 201, 89), (255, 190, 67), (255, 179, 45),
    (255, 169, 26), (255, 160, 10), (255, 124, 0), (255, 102, 0),
    (255, 105, 0), (255, 109, 0), (255, 115, 0), (255, 121, 0),
    (255, 127, 0), (255, 133, 0), (255, 138, 0), (255, 138, 0),
    (255, 125, 0), (255, 109, 0),
]

EMBLEM_LEFT, EMBLEM_TOP, EMBLEM_SIZE = 6, 5, 16
ICON_SIZES = (32, 16)


def grey(value):
    return (value, value, value)


def lerp(a, b, t):
    return int(round(a + (b - a) * t))


class Random:
    """A fixed linear congruential generator: the texture never changes."""

    def __init__(self, seed):
        self.state = seed

    def next(self, bound):
        self.state = (self.state * 1103515245 + 12345) & 0x7FFFFFFF
        return (self.state >> 8) % bound


def title_strip_grey(row):
    """Rows 1..25: 179 falling to 71 at row 13, then 16 rising to 71 at row 25."""
    if row <= 13:
        return lerp(179, 71, (row - 1) / 12)
    return lerp(16, 71, (row - 14) / 11)


def emblem_pixel(x, y, under):
    """The circular orange emblem over `under`, its edge blended for smoothness."""
    centre = (EMBLEM_SIZE - 1) / 2
    dx, dy = x - centre, y - centre
    distance = math.hypot(dx, dy)
    radius = EMBLEM_SIZE / 2
    coverage = max(0.0, min(1.0, radius - distance))
    if coverage == 0.0:
        return under
    # Lit from the top left: pale orange falling to deep orange.
    light = max(0.0, min(1.0, 0.5 - (dx + dy) / (4 * radius)))
    colour = (255, lerp(110, 200, light), lerp(0, 80, light))
    # A white ring inside the disc, the product's mark.
    if 3.0 <= distance <= 4.6:
        colour = (255, 244, 224)
    return tuple(lerp(u, c, coverage) for u, c in zip(under, colour))


def skin_pixels():
    random = Random(129)
    rows = []
    for y in range(SKIN_HEIGHT):
        if y in (0, 26):
            row = [grey(51)] * SKIN_WIDTH
        elif y <= 25:
            row = [grey(title_strip_grey(y))] * SKIN_WIDTH
        else:
            # Brushed metal: each line its own grey, each pixel a little off it.
            base = 176 + random.next(16)
            row = [grey(min(194, max(173, base + random.next(5) - 2))) for _ in range(SKIN_WIDTH)]
        rows.append(list(row))
    for y in range(EMBLEM_SIZE):
        for x in range(EMBLEM_SIZE):
            under = rows[EMBLEM_TOP + y][EMBLEM_LEFT + x]
            rows[EMBLEM_TOP + y][EMBLEM_LEFT + x] = emblem_pixel(x, y, under)
    for y in range(SKIN_HEIGHT):
        rows[y][0] = grey(51 if y in (0, 26) else 43 + random.next(9))
    return rows


def bmp_24(rows):
    """A bottom-up 24-bit BMP file of `rows` (top row first) of (r, g, b)."""
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        data += line + bytes(stride - len(line))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    return header + info + bytes(data)


def icon_image(size):
    """A 32-bit icon image (header, BGRA pixels, AND mask): an orange disc
    with a white arrow pointing down into a tray, for unpacking."""
    pixels = []
    centre = (size - 1) / 2
    radius = size / 2 - 0.5
    for y in range(size):
        for x in range(size):
            distance = math.hypot(x - centre, y - centre)
            alpha = max(0.0, min(1.0, radius + 0.5 - distance))
            light = max(0.0, min(1.0, 0.5 - (x + y - 2 * centre) / (4 * size)))
            r, g, b = 255, lerp(105, 190, light), lerp(0, 60, light)
            u, v = x / size, y / size
            shaft = abs(u - 0.5) < 0.09 and 0.2 <= v < 0.55
            head = 0.5 <= v < 0.72 and abs(u - 0.5) < (0.72 - v) * 1.1
            tray = 0.74 <= v < 0.82 and 0.26 <= u < 0.74
            if shaft or head or tray:
                r, g, b = 255, 255, 255
            pixels.append((r, g, b, int(round(alpha * 255))))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for y in reversed(range(size)):
        for x in range(size):
            r, g, b, a = pixels[y * size + x]
            colour += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(size)):
        line = bytearray(mask_stride)
        for x in range(size):
            if pixels[y * size + x][3] == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + bytes(colour) + bytes(mask)


def ico(sizes):
    images = [icon_image(size) for size in sizes]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, image in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return directory + entries + b"".join(images)


def write(path, data):
    # Rewritten only when different, so that the resources are not rebuilt for nothing.
    if os.path.exists(path):
        with open(path, "rb") as existing:
            if existing.read() == data:
                return
    with open(path, "wb") as out:
        out.write(data)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write(os.path.join(out, "background.bmp"), bmp_24(skin_pixels()))
    write(os.path.join(out, "progress_fill.bmp"), bmp_24([[colour] for colour in FILL_ROWS]))
    write(os.path.join(out, "launcher.ico"), ico(ICON_SIZES))


if __name__ == "__main__":
    main()
