#!/usr/bin/env python3
"""Draws the splash picture of Corvane Setup and writes it as launcher/splash.bmp.

The bitmap resource is the file minus its 14-byte file header: a 40-byte BITMAPINFOHEADER
(480 by 350, bottom-up, 8 bits, BI_RLE8, image size the length of the compressed pixels, 11808
pixels per metre, colours used 0), 256 colour entries and the run-length encoded rows, which
the bootstrapper expands when it loads the picture. The background is dithered between rows
only, never along a row, so that a row is a few long runs: about 15 KB instead of the 168000
bytes of the rows uncompressed.

Only the standard library is used, and only arithmetic whose results IEEE 754 fixes exactly
(no trigonometry), so the file comes out the same byte for byte everywhere.

    python3 launcher/make_splash.py            # rewrites launcher/splash.bmp
    python3 launcher/make_splash.py --check    # fails unless splash.bmp is what it would write
"""
import math
import os
import struct
import sys

WIDTH, HEIGHT = 480, 350
PIXELS_PER_METRE = 11808
BI_RLE8 = 1

# The palette: 16 background shades, each with 16 overlay states: none, nine strengths of
# white and six of the amber accent. index = shade * 16 + state.
SHADES = 16
WHITE_STEPS = 9
ACCENT_STEPS = 6
NAVY = (6, 20, 44)
BLUE = (24, 92, 150)
WHITE = (255, 255, 255)
AMBER = (245, 166, 35)

# Ordered dithering of the background shades from row to row: a row keeps one shade wherever
# the lighting is even, so it stays a few runs.
ROW_DITHER = (0, 2, 1, 3)


def mix(a, b, t):
    return tuple(int(x + (y - x) * t + 0.5) for x, y in zip(a, b))


def palette():
    colours = []
    for shade in range(SHADES):
        base = mix(NAVY, BLUE, shade / (SHADES - 1))
        colours.append(base)
        colours += [mix(base, WHITE, s / WHITE_STEPS) for s in range(1, WHITE_STEPS + 1)]
        colours += [mix(base, AMBER, s / ACCENT_STEPS) for s in range(1, ACCENT_STEPS + 1)]
    return colours


# ---- shapes: coverage of a pixel by a stroked segment or arc ---------------------------------

def unit(x, y):
    length = math.sqrt(x * x + y * y)
    return (x / length, y / length)


def cross(a, b):
    return a[0] * b[1] - a[1] * b[0]


class Segment:
    def __init__(self, x0, y0, x1, y1):
        self.a, self.b = (x0, y0), (x1, y1)

    def bounds(self):
        return (min(self.a[0], self.b[0]), min(self.a[1], self.b[1]),
                max(self.a[0], self.b[0]), max(self.a[1], self.b[1]))

    def distance(self, px, py):
        ax, ay = self.a
        dx, dy = self.b[0] - ax, self.b[1] - ay
        length2 = dx * dx + dy * dy
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
        ex, ey = px - (ax + t * dx), py - (ay + t * dy)
        return math.sqrt(ex * ex + ey * ey)


class Arc:
    """Counter-clockwise (y up) from direction `start` to direction `end`; a full circle if
    both are None."""

    def __init__(self, cx, cy, r, start=None, end=None):
        self.c, self.r = (cx, cy), r
        self.start = unit(*start) if start else None
        self.end = unit(*end) if end else None

    def bounds(self):
        return (self.c[0] - self.r, self.c[1] - self.r, self.c[0] + self.r, self.c[1] + self.r)

    def _inside_sweep(self, d):
        if self.start is None:
            return True
        s, e = self.start, self.end
        if cross(s, e) >= 0:
            return cross(s, d) >= 0 and cross(d, e) >= 0
        return not (cross(e, d) > 0 and cross(d, s) > 0)

    def distance(self, px, py):
        dx, dy = px - self.c[0], py - self.c[1]
        if self._inside_sweep((dx, dy)):
            return abs(math.sqrt(dx * dx + dy * dy) - self.r)
        ends = [(self.c[0] + self.r * v[0], self.c[1] + self.r * v[1]) for v in (self.start, self.end)]
        return min(math.sqrt((px - x) ** 2 + (py - y) ** 2) for x, y in ends)


class Disc:
    def __init__(self, cx, cy, r):
        self.c, self.r = (cx, cy), r

    def bounds(self):
        return (self.c[0] - self.r, self.c[1] - self.r, self.c[0] + self.r, self.c[1] + self.r)

    def distance(self, px, py):
        # Signed: negative inside, so a stroke of width 0 paints the whole disc.
        return math.sqrt((px - self.c[0]) ** 2 + (py - self.c[1]) ** 2) - self.r


class Layer:
    """Coverage of one overlay colour, 0 to 1 per pixel, top-down rows."""

    def __init__(self, width=WIDTH, height=HEIGHT):
        self.width, self.height = width, height
        self.cover = [[0.0] * width for _ in range(height)]

    def stroke(self, shape, width):
        half = width / 2
        x0, y0, x1, y1 = shape.bounds()
        for y in range(max(0, int(y0 - half - 2)), min(self.height, int(y1 + half + 3))):
            row = self.cover[y]
            for x in range(max(0, int(x0 - half - 2)), min(self.width, int(x1 + half + 3))):
                c = half + 0.5 - shape.distance(x + 0.5, y + 0.5)
                if c > row[x]:
                    row[x] = min(1.0, c)


# ---- lettering: a geometric stroke face, units of the x-height, y up from the baseline --------

E, N, W, S = (1, 0), (0, 1), (-1, 0), (0, -1)

GLYPHS = {
    "C": (1.45, [Arc(0.7, 0.7, 0.7, (1, 1), (1, -1))]),
    "S": (1.0, [Arc(0.45, 1.05, 0.35, (0.94, 0.34), S), Arc(0.45, 0.35, 0.35, (-0.94, -0.34), N)]),
    "o": (1.15, [Arc(0.5, 0.5, 0.5)]),
    "r": (0.75, [Segment(0, 0, 0, 1), Arc(0.5, 0.5, 0.5, N, W)]),
    "v": (1.05, [Segment(0, 1, 0.45, 0), Segment(0.45, 0, 0.9, 1)]),
    "a": (1.2, [Arc(0.5, 0.5, 0.5), Segment(1.0, 0, 1.0, 1)]),
    "n": (1.1, [Segment(0, 0, 0, 1), Arc(0.45, 0.55, 0.45, E, W), Segment(0.9, 0.55, 0.9, 0)]),
    "u": (1.1, [Segment(0, 1, 0, 0.45), Arc(0.45, 0.45, 0.45, W, E), Segment(0.9, 1, 0.9, 0)]),
    "e": (1.15, [Arc(0.5, 0.5, 0.5, E, (0.77, -0.64)), Segment(0, 0.5, 1, 0.5)]),
    "t": (0.8, [Segment(0.3, 0, 0.3, 1.3), Segment(0, 1, 0.65, 1)]),
    "p": (1.15, [Segment(0, 1, 0, -0.45), Arc(0.5, 0.5, 0.5)]),
    "b": (1.15, [Segment(0, 0, 0, 1.45), Arc(0.5, 0.5, 0.5)]),
    "d": (1.2, [Segment(1.0, 0, 1.0, 1.45), Arc(0.5, 0.5, 0.5)]),
    "i": (0.4, [Segment(0, 0, 0, 1), Disc(0, 1.35, 0.02)]),
    "w": (1.4, [Segment(0, 1, 0.3, 0), Segment(0.3, 0, 0.6, 1), Segment(0.6, 1, 0.9, 0),
                Segment(0.9, 0, 1.2, 1)]),
    ".": (0.4, [Disc(0, 0.02, 0.02)]),
    " ": (0.55, []),
}


def placed(shape, x, baseline, scale):
    """The glyph shape moved to pixel coordinates (y down)."""
    if isinstance(shape, Segment):
        return Segment(x + shape.a[0] * scale, baseline - shape.a[1] * scale,
                       x + shape.b[0] * scale, baseline - shape.b[1] * scale)
    cx, cy = x + shape.c[0] * scale, baseline - shape.c[1] * scale
    if isinstance(shape, Disc):
        return Disc(cx, cy, shape.r * scale)
    arc = Arc(cx, cy, shape.r * scale)
    if shape.start is not None:
        # Flipping y turns counter-clockwise into clockwise: swap the ends and mirror them.
        arc.start = (shape.end[0], -shape.end[1])
        arc.end = (shape.start[0], -shape.start[1])
    return arc


def text_width(text, scale, spacing):
    return sum((GLYPHS[ch][0] + spacing) * scale for ch in text) - spacing * scale


def write_text(layer, text, x, baseline, scale, stroke, spacing=0.22):
    for ch in text:
        advance, shapes = GLYPHS[ch]
        for shape in shapes:
            layer.stroke(placed(shape, x, baseline, scale), stroke)
        x += (advance + spacing) * scale


# ---- the picture ---------------------------------------------------------------------------

TITLE_SCALE, TITLE_BASELINE = 28, 166
SUBTITLE_SCALE, SUBTITLE_BASELINE = 19, 211
RING_RADIUS, RING_STROKE, GAP = 46, 12, 30


def layout():
    """The mark and the title side by side, centred as one block."""
    ring = 2 * RING_RADIUS + RING_STROKE
    block = ring + GAP + text_width("Corvane", TITLE_SCALE, 0.22)
    left = (WIDTH - block) / 2
    return (left + ring / 2, 168), left + ring + GAP


LOGO, TITLE_LEFT = layout()


def background_shade(x, y):
    u, v = x / WIDTH, y / HEIGHT
    t = 0.62 * u + 0.38 * (1 - v)
    glow = max(0.0, 1 - math.sqrt((x - LOGO[0]) ** 2 + (y - LOGO[1]) ** 2) / 260)
    t = min(1.0, 0.1 + 0.7 * t + 0.3 * glow * glow)
    level = int(t * (SHADES - 1) + (ROW_DITHER[y % 4] + 0.5) / 4)
    return min(SHADES - 1, level)


def overlay_state(accent, white):
    """The overlay state of a pixel (see the palette) from its accent and white coverage."""
    if accent > 0 and accent >= white:
        return WHITE_STEPS + max(1, int(accent * ACCENT_STEPS + 0.5))
    if white > 0:
        return int(white * WHITE_STEPS + 0.5)
    return 0


def draw():
    white, accent = Layer(), Layer()

    # The mark: an amber ring open to the right, around a white core.
    cx, cy = LOGO
    accent.stroke(Arc(cx, cy, RING_RADIUS, (1, 0.75), (1, -0.75)), RING_STROKE)
    white.stroke(Disc(cx, cy, 15), 0)

    write_text(white, "Corvane", TITLE_LEFT, TITLE_BASELINE, TITLE_SCALE, 5.5)
    write_text(accent, "Setup", TITLE_LEFT + 1, SUBTITLE_BASELINE, SUBTITLE_SCALE, 3.6, spacing=0.45)

    white_line = Layer()
    white_line.stroke(Segment(40, 264, 440, 264), 1.0)
    write_text(white_line, "Setup wird vorbereitet ...", 40, 298, 9, 1.5, spacing=0.3)

    pixels = []
    for y in range(HEIGHT):
        row = bytearray(WIDTH)
        for x in range(WIDTH):
            w = max(white.cover[y][x], 0.55 * white_line.cover[y][x])
            row[x] = background_shade(x, y) * 16 + overlay_state(accent.cover[y][x], w)
        pixels.append(bytes(row))
    return pixels


# ---- run-length encoding (BI_RLE8) -----------------------------------------------------------

def runs(row):
    """(value, length) of the row's runs of equal pixels, each at most 255 long."""
    found, start = [], 0
    while start < len(row):
        end = start + 1
        while end < len(row) and row[end] == row[start] and end - start < 255:
            end += 1
        found.append((row[start], end - start))
        start = end
    return found


def literal(pixels):
    """Pixels copied as they are: escape 0, count 3 to 255, padded to an even length; fewer
    than 3 can only be written as runs of one."""
    if len(pixels) < 3:
        return b"".join(bytes((1, value)) for value in pixels)
    return bytes((0, len(pixels))) + bytes(pixels) + bytes(len(pixels) % 2)


def encode_row(row):
    """Runs of 3 or more as (count, value); shorter ones gathered into literal stretches."""
    out, loose = bytearray(), []
    for value, length in runs(row) + [(None, 255)]:
        if length < 3 and len(loose) + length <= 254:
            loose += [value] * length
            continue
        out += literal(loose)
        loose = [value] * length if length < 3 else []
        if value is not None and length >= 3:
            out += bytes((length, value))
    return bytes(out)


def rle8(bottom_up_rows):
    """Each row ends with end of line (0, 0), the last with end of bitmap (0, 1) instead."""
    return b"\0\0".join(encode_row(row) for row in bottom_up_rows) + b"\0\1"


def decode_rle8(stream, width):
    """The rows of a stream rle8 wrote: the encoder's own check, not a general decoder."""
    rows, row, at = [], bytearray(), 0
    while True:
        count, value = stream[at], stream[at + 1]
        at += 2
        if count:
            row += bytes((value,)) * count
        elif value >= 3:
            row += stream[at:at + value]
            at += value + value % 2
        else:
            assert value in (0, 1) and len(row) == width
            rows.append(bytes(row))
            row = bytearray()
            if value == 1:
                return rows


def bitmap_file():
    colours = palette()
    assert len(colours) == 256
    rows = list(reversed(draw()))
    assert WIDTH % 4 == 0  # rows need no padding
    pixels = rle8(rows)
    assert decode_rle8(pixels, WIDTH) == rows
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, BI_RLE8, len(pixels),
                       PIXELS_PER_METRE, PIXELS_PER_METRE, 0, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)
    body = info + table + pixels
    header = struct.pack("<2sIHHI", b"BM", 14 + len(body), 0, 0, 14 + len(info) + len(table))
    return header + body


def write_or_check(argv, name, data, usage):
    """Writes `data` to `name` beside this script, or with --check compares what is there."""
    target = os.path.join(os.path.dirname(os.path.abspath(__file__)), name)
    if argv[1:] == ["--check"]:
        with open(target, "rb") as f:
            if f.read() != data:
                print("%s differs from what %s draws" % (name, os.path.basename(argv[0])), file=sys.stderr)
                return 1
        return 0
    if argv[1:]:
        print(usage, file=sys.stderr)
        return 2
    with open(target, "wb") as f:
        f.write(data)
    return 0


def main(argv):
    return write_or_check(argv, "splash.bmp", bitmap_file(), __doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
