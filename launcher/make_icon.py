#!/usr/bin/env python3
"""Draws the application icon of Corvane Setup and writes it as launcher/Setup.ico.

The mark of the splash picture (an amber ring open to the right around a white core) on a
rounded square of its blue ground, in the splash's own 256-colour palette, drawn anew at each of
16, 32, 48 and 256 pixels rather than scaled. The 16, 32 and 48-pixel images are 8-bit
bottom-up DIBs with their 1-bit transparency mask (the rounded corners), as icon files have
carried since Windows 3; the 256-pixel image is a PNG (8-bit RGBA, the corners transparent), as
Windows has read them in icons since Vista: about 5 KB instead of 74 KB. The PNG's pixels are
compressed by the zlib module at level 9, whose output is the same for one zlib (Debian's) and
may differ for another.

Only the standard library and make_splash.py's shapes are used, and only arithmetic whose
results IEEE 754 fixes exactly, so the file comes out the same byte for byte everywhere.

    python3 launcher/make_icon.py            # rewrites launcher/Setup.ico
    python3 launcher/make_icon.py --check    # fails unless Setup.ico is what it would write
"""
import math
import struct
import sys
import zlib

sys.dont_write_bytecode = True  # importing make_splash leaves no cache in the source tree
from make_splash import (RING_RADIUS, RING_STROKE, SHADES, Arc, Disc, Layer, write_or_check,
                         overlay_state, palette)

SIZES = (16, 32, 48, 256)
PNG_FROM = 256      # images of this size and above are stored as PNG
CORNER = 0.18       # corner radius, a share of the side
RING = 0.32         # ring radius, a share of the side
CORE = 15 / 46      # core radius, a share of the ring radius (as on the splash)


def inside_rounded_square(x, y, size):
    """Whether the centre of pixel (x, y) lies on the rounded square."""
    r = CORNER * size
    px, py = x + 0.5, y + 0.5
    cx = min(max(px, r), size - r)
    cy = min(max(py, r), size - r)
    return (px - cx) ** 2 + (py - cy) ** 2 <= r * r


def ground_shade(x, y, size):
    """The splash's lighting: brighter up and to the right, with a glow behind the mark."""
    u, v = (x + 0.5) / size, (y + 0.5) / size
    glow = max(0.0, 1 - 2 * math.sqrt((u - 0.5) ** 2 + (v - 0.5) ** 2))
    t = min(1.0, 0.1 + 0.7 * (0.62 * u + 0.38 * (1 - v)) + 0.3 * glow * glow)
    # Shade 0 stays out of the ground, so the transparent pixels' index 0 is theirs alone.
    return max(1, int(t * (SHADES - 1) + 0.5))


def draw(size):
    """Top-down rows of palette indices and of transparency (True: transparent)."""
    white, accent = Layer(size, size), Layer(size, size)
    c = size / 2
    ring = RING * size
    accent.stroke(Arc(c, c, ring, (1, 0.75), (1, -0.75)), ring * RING_STROKE / RING_RADIUS)
    white.stroke(Disc(c, c, ring * CORE), 0)
    pixels, transparent = [], []
    for y in range(size):
        row, clear = bytearray(size), []
        for x in range(size):
            outside = not inside_rounded_square(x, y, size)
            clear.append(outside)
            if not outside:
                state = overlay_state(accent.cover[y][x], white.cover[y][x])
                row[x] = ground_shade(x, y, size) * 16 + state
        pixels.append(bytes(row))
        transparent.append(clear)
    return pixels, transparent


def mask_row(clear):
    """One row of the 1-bit mask, set where the pixel is transparent, padded to 32 bits."""
    row = bytearray((len(clear) + 31) // 32 * 4)
    for x, bit in enumerate(clear):
        if bit:
            row[x // 8] |= 0x80 >> (x % 8)
    return bytes(row)


def icon_image(size, table):
    pixels, transparent = draw(size)
    xor = b"".join(reversed(pixels))
    mask = b"".join(mask_row(clear) for clear in reversed(transparent))
    info = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 8, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + table + xor + mask


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png_image(size, colours):
    """Top-down RGBA rows, each with filter type 0 (none), which compresses this art best."""
    pixels, transparent = draw(size)
    rows = b"".join(b"\0" + b"".join(bytes(colours[index]) + (b"\0" if clear else b"\xff")
                                      for index, clear in zip(row, clear_row))
                    for row, clear_row in zip(pixels, transparent))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) +
            png_chunk(b"IDAT", zlib.compress(rows, 9)) + png_chunk(b"IEND", b""))


def icon_file():
    colours = palette()
    assert len(colours) == 256
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)
    images = [png_image(size, colours) if size >= PNG_FROM else icon_image(size, table) for size in SIZES]
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries = b""
    for size, image in zip(SIZES, images):
        side = size % 256  # 256 is written as 0
        bits = 32 if size >= PNG_FROM else 8
        entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, bits, len(image), offset)
        offset += len(image)
    return header + entries + b"".join(images)


def main(argv):
    return write_or_check(argv, "Setup.ico", icon_file(), __doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
