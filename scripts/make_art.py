#!/usr/bin/env python3
"""Draw Bexlo's icons, cursors and bitmaps and write the resource files.

Usage: make_art.py [output-folder]      (default: ../res beside this script)

All art is drawn here from code so it can be rebuilt byte for byte; no
image library is needed.
"""

import math
import struct
import sys
from pathlib import Path

SUPERSAMPLE = 4

TRANSPARENT = (0, 0, 0, 0)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)

DRIVE_EDGE = (30, 34, 40)
DRIVE_TOP = (112, 120, 130)
DRIVE_BOTTOM = (58, 63, 71)
DRIVE_SHINE = (150, 158, 168)
BUTTON_EDGE = (14, 52, 120)
BUTTON_TOP = (120, 190, 255)
BUTTON_BOTTOM = (24, 104, 214)
ARROW_EDGE = (22, 96, 30)
ARROW_TOP = (146, 226, 104)
ARROW_BOTTOM = (52, 168, 52)
LOGO_TOP = (36, 80, 150)
LOGO_BOTTOM = (16, 46, 106)


# Shapes ------------------------------------------------------------------

class Shape:
    """A point-in-shape test plus a bounding box (x0, y0, x1, y1)."""

    def __init__(self, inside, bbox):
        self.inside = inside
        self.bbox = bbox

    def __or__(self, other):
        a, b = self.bbox, other.bbox
        return Shape(lambda x, y: self.inside(x, y) or other.inside(x, y),
                     (min(a[0], b[0]), min(a[1], b[1]),
                      max(a[2], b[2]), max(a[3], b[3])))

    def __and__(self, other):
        a, b = self.bbox, other.bbox
        return Shape(lambda x, y: self.inside(x, y) and other.inside(x, y),
                     (max(a[0], b[0]), max(a[1], b[1]),
                      min(a[2], b[2]), min(a[3], b[3])))

    def __sub__(self, other):
        return Shape(
            lambda x, y: self.inside(x, y) and not other.inside(x, y),
            self.bbox)


def rect(x0, y0, x1, y1):
    return Shape(lambda x, y: x0 <= x < x1 and y0 <= y < y1, (x0, y0, x1, y1))


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        dx = max(x0 + r - x, 0, x - (x1 - r))
        dy = max(y0 + r - y, 0, y - (y1 - r))
        return dx * dx + dy * dy <= r * r
    return Shape(inside, (x0, y0, x1, y1))


def ellipse(cx, cy, rx, ry):
    return Shape(lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1,
                 (cx - rx, cy - ry, cx + rx, cy + ry))


def circle(cx, cy, r):
    return ellipse(cx, cy, r, r)


def line(x0, y0, x1, y1, width):
    """A stroke with round caps."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy
    half = width / 2

    def inside(x, y):
        t = ((x - x0) * dx + (y - y0) * dy) / length2
        t = min(1, max(0, t))
        px, py = x0 + t * dx - x, y0 + t * dy - y
        return px * px + py * py <= half * half
    return Shape(inside, (min(x0, x1) - half, min(y0, y1) - half,
                          max(x0, x1) + half, max(y0, y1) + half))


def polygon(points):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    edges = list(zip(points, points[1:] + points[:1]))

    def inside(x, y):
        crossings = 0
        for (ax, ay), (bx, by) in edges:
            if (ay > y) != (by > y):
                if x < ax + (y - ay) * (bx - ax) / (by - ay):
                    crossings += 1
        return crossings % 2 == 1
    return Shape(inside, (min(xs), min(ys), max(xs), max(ys)))


def scaled(shape, k):
    """The shape drawn k times as large, from the origin."""
    x0, y0, x1, y1 = shape.bbox
    return Shape(lambda x, y: shape.inside(x / k, y / k),
                 (x0 * k, y0 * k, x1 * k, y1 * k))


def below_curve(f, x0, x1, y_top, y_bottom):
    """Everything under y = f(x) between x0 and x1, down to y_bottom."""
    return Shape(lambda x, y: y >= f(x), (x0, y_top, x1, y_bottom))


# Paint -------------------------------------------------------------------

def rgba(color):
    return tuple(color) if len(color) == 4 else tuple(color) + (255,)


def mix(c0, c1, t):
    c0, c1 = rgba(c0), rgba(c1)
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def vertical(y0, y1, top, bottom):
    """Paint that runs from top at y0 to bottom at y1."""
    def paint(x, y):
        return mix(top, bottom, min(1, max(0, (y - y0) / (y1 - y0))))
    return paint


def with_alpha(color, alpha):
    return tuple(color[:3]) + (alpha,)


# Canvas ------------------------------------------------------------------

class Canvas:
    """RGBA pixels, straight alpha, kept as floats until written out."""

    def __init__(self, width, height):
        self.width = width
        self.height = height
        self.pixels = [list(TRANSPARENT) for _ in range(width * height)]

    def get(self, x, y):
        return self.pixels[y * self.width + x]

    def blend(self, x, y, color, coverage=1.0):
        r, g, b, a = color
        sa = a / 255 * coverage
        if sa <= 0:
            return
        dst = self.get(x, y)
        da = dst[3] / 255
        out = sa + da * (1 - sa)
        for i, c in enumerate((r, g, b)):
            dst[i] = (c * sa + dst[i] * da * (1 - sa)) / out
        dst[3] = out * 255

    def fill(self, paint):
        self.draw(rect(0, 0, self.width, self.height), paint, 1)

    def draw(self, shape, paint, supersample=SUPERSAMPLE):
        """Fill shape with a color or a paint(x, y) function, antialiased."""
        x0, y0, x1, y1 = shape.bbox
        x0, y0 = max(0, math.floor(x0)), max(0, math.floor(y0))
        x1 = min(self.width, math.ceil(x1))
        y1 = min(self.height, math.ceil(y1))
        offsets = [(i + 0.5) / supersample for i in range(supersample)]
        samples = supersample * supersample
        solid = None if callable(paint) else rgba(paint)
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = sum(shape.inside(x + sx, y + sy)
                           for sy in offsets for sx in offsets)
                if hits:
                    color = solid or paint(x + 0.5, y + 0.5)
                    self.blend(x, y, color, hits / samples)

    def gradient(self, x0, y0, x1, y1, top, bottom):
        self.draw(rect(x0, y0, x1, y1), vertical(y0, y1, top, bottom), 1)


# Writers -----------------------------------------------------------------

BAYER4 = (0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5)


def bitmap_info_header(width, height, bits, image_size, colors=0):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, 0,
                       image_size, 2835, 2835, colors, 0)


def row_stride(width, bits):
    return (width * bits + 31) // 32 * 4


def rows_bottom_up(canvas):
    return range(canvas.height - 1, -1, -1)


def bmp24(canvas):
    """24-bit bitmap; ordered dither keeps the soft gradients free of bands.

    Whole-number channel values come through untouched, so pure white stays
    pure white for the transparent-color painting.
    """
    stride = row_stride(canvas.width, 24)
    data = bytearray()
    for y in rows_bottom_up(canvas):
        row = bytearray()
        for x in range(canvas.width):
            t = (BAYER4[(y % 4) * 4 + x % 4] + 0.5) / 16
            r, g, b, _ = canvas.get(x, y)
            row += bytes(min(255, math.floor(c + t)) for c in (b, g, r))
        data += row.ljust(stride, b'\0')
    header = bitmap_info_header(canvas.width, canvas.height, 24, len(data))
    offset = 14 + len(header)
    return (struct.pack('<2sIHHI', b'BM', offset + len(data), 0, 0, offset)
            + header + data)


def and_mask(canvas, transparent):
    stride = row_stride(canvas.width, 1)
    data = bytearray()
    for y in rows_bottom_up(canvas):
        row = bytearray(stride)
        for x in range(canvas.width):
            if transparent(canvas.get(x, y)):
                row[x // 8] |= 0x80 >> (x % 8)
        data += row
    return bytes(data)


def icon_image(canvas):
    """32-bit BGRA image with its AND mask, height doubled for the mask."""
    pixels = bytearray()
    for y in rows_bottom_up(canvas):
        for x in range(canvas.width):
            r, g, b, a = (round(c) for c in canvas.get(x, y))
            pixels += bytes((b, g, r, a) if a else (0, 0, 0, 0))
    mask = and_mask(canvas, lambda p: round(p[3]) == 0)
    header = bitmap_info_header(canvas.width, canvas.height * 2, 32,
                                len(pixels) + len(mask))
    return header + pixels + mask


def cursor_image(canvas):
    """Monochrome image: opaque pixels become black or white by brightness."""
    def opaque(p):
        return p[3] >= 128

    def white(p):
        return opaque(p) and 0.3 * p[0] + 0.59 * p[1] + 0.11 * p[2] >= 128

    stride = row_stride(canvas.width, 1)
    colors = bytearray()
    for y in rows_bottom_up(canvas):
        row = bytearray(stride)
        for x in range(canvas.width):
            if white(canvas.get(x, y)):
                row[x // 8] |= 0x80 >> (x % 8)
        colors += row
    mask = and_mask(canvas, lambda p: not opaque(p))
    header = bitmap_info_header(canvas.width, canvas.height * 2, 1,
                                len(colors) + len(mask), 2)
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    return header + palette + colors + mask


def icon_directory(kind, entries):
    """ICONDIR plus entries of (canvas, image, color_count, field1, field2).

    field1/field2 are planes/bit count for icons, the hot spot for cursors.
    """
    out = struct.pack('<HHH', 0, kind, len(entries))
    offset = len(out) + 16 * len(entries)
    for canvas, image, color_count, field1, field2 in entries:
        out += struct.pack('<BBBBHHII', canvas.width % 256,
                           canvas.height % 256, color_count, 0,
                           field1, field2, len(image), offset)
        offset += len(image)
    return out + b''.join(entry[1] for entry in entries)


def ico(canvases):
    return icon_directory(1, [(c, icon_image(c), 0, 1, 32) for c in canvases])


def cur(canvas, hotspot):
    return icon_directory(2, [(canvas, cursor_image(canvas), 2) + hotspot])


# Drawings ----------------------------------------------------------------

def inset(points, d):
    """The polygon moved inwards by d, for outline-then-fill drawing."""
    n = len(points)
    area = sum(points[i][0] * points[(i + 1) % n][1]
               - points[(i + 1) % n][0] * points[i][1] for i in range(n))
    side = 1 if area > 0 else -1
    lines = []
    for i in range(n):
        (ax, ay), (bx, by) = points[i], points[(i + 1) % n]
        length = math.hypot(bx - ax, by - ay)
        ex, ey = (bx - ax) / length, (by - ay) / length
        lines.append((ax - side * ey * d, ay + side * ex * d, ex, ey))
    out = []
    for i in range(n):
        px, py, pex, pey = lines[i - 1]
        qx, qy, qex, qey = lines[i]
        t = ((qx - px) * qey - (qy - py) * qex) / (pex * qey - pey * qex)
        out.append((px + t * pex, py + t * pey))
    return out


def framed_polygon(canvas, points, edge, paint, hair):
    canvas.draw(polygon(points), edge)
    canvas.draw(polygon(inset(points, hair)), paint)


def framed_rounded_rect(canvas, x0, y0, x1, y1, r, edge, paint, hair):
    canvas.draw(rounded_rect(x0, y0, x1, y1, r), edge)
    canvas.draw(rounded_rect(x0 + hair, y0 + hair, x1 - hair, y1 - hair,
                             r - hair), paint)


def draw_drive(canvas, left, top, size):
    """The enclosure motif: a dark box, a blue push-button, a green arrow.

    Laid out on a 16-unit grid with edges on whole units, so that at 16 px
    (and its multiples) the straight edges land on whole pixels.
    """
    k = size / 16
    hair = max(1, int(k * 0.6))

    def at(x, y):
        return left + x * k, top + y * k

    x0, y0 = at(0, 6)
    x1, y1 = at(16, 15)
    radius = 2 * k
    # A drop shadow only muddies the outline at 16 px.
    if size >= 32:
        canvas.draw(rounded_rect(x0 + hair, y0 + k, x1, y1 + k, radius),
                    (0, 0, 0, 40))
        canvas.draw(rounded_rect(x0, y0, x1, y1 + k / 2, radius),
                    (0, 0, 0, 50))
    framed_rounded_rect(canvas, x0, y0, x1, y1, radius, DRIVE_EDGE,
                        vertical(y0, y1, DRIVE_TOP, DRIVE_BOTTOM), hair)
    canvas.draw(rect(x0 + radius, y0 + hair, x1 - radius, y0 + 2 * hair),
                DRIVE_SHINE)

    # Push-button, with a bevel ring and a glint so it reads as pressable.
    cx, cy = at(11.5, 10.5)
    r = 3 * k
    canvas.draw(circle(cx, cy, r), BUTTON_EDGE)
    canvas.draw(circle(cx, cy, r - hair),
                vertical(cy - r, cy + r, BUTTON_TOP, BUTTON_BOTTOM))
    if size >= 32:
        canvas.draw(ellipse(cx - 0.7 * k, cy - 1.3 * k, 1.4 * k, 0.8 * k),
                    (255, 255, 255, 140))

    # Downward arrow dropping into the box: "copy onto this disk".
    arrow = [at(x, y) for x, y in ((3, 0), (8, 0), (8, 5), (11, 5),
                                   (5.5, 10.5), (0, 5), (3, 5))]
    framed_polygon(canvas, arrow, ARROW_EDGE,
                   vertical(top, top + 10 * k, ARROW_TOP, ARROW_BOTTOM), hair)


def app_icon(size):
    canvas = Canvas(size, size)
    draw_drive(canvas, 0, 0, size)
    return canvas


def new_folder_icon(size):
    k = size / 16
    hair = max(1, int(k * 0.6))
    canvas = Canvas(size, size)

    def box(x0, y0, x1, y1):
        return x0 * k, y0 * k, x1 * k, y1 * k

    edge = (150, 104, 14)
    x0, y0, x1, y1 = box(0, 2, 15, 14)
    tab_right = 7 * k
    canvas.draw(rounded_rect(x0, y0, tab_right, y0 + 4 * k, k)
                | rounded_rect(x0, y0 + 2 * k, x1, y1, k), edge)
    canvas.draw(rounded_rect(x0 + hair, y0 + hair, tab_right - hair,
                             y0 + 4 * k, k - hair)
                | rect(x0 + hair, y0 + 2 * k + hair, x1 - hair, y1 - hair),
                (224, 168, 44))
    x0, y0, x1, y1 = box(0, 6, 15, 14)
    framed_rounded_rect(canvas, x0, y0, x1, y1, k, edge,
                        vertical(y0, y1, (255, 228, 124), (242, 184, 50)),
                        hair)
    canvas.draw(rect(x0 + hair, y0 + hair, x1 - hair, y0 + 2 * hair),
                (255, 244, 196))

    # Green plus in the corner: "new".
    cx, cy = 12 * k, 4 * k
    arm, half = 4 * k, 2 * k

    def plus(d):
        return (rect(cx - arm + d, cy - half + d, cx + arm - d, cy + half - d)
                | rect(cx - half + d, cy - arm + d, cx + half - d,
                       cy + arm - d))
    canvas.draw(plus(0), ARROW_EDGE)
    canvas.draw(plus(hair),
                vertical(cy - arm, cy + arm, ARROW_TOP, ARROW_BOTTOM))
    return canvas


# The familiar arrow pointer: B black outline, W white body.
POINTER = (
    'B',
    'BB',
    'BWB',
    'BWWB',
    'BWWWB',
    'BWWWWB',
    'BWWWWWB',
    'BWWWWWWB',
    'BWWWWWWWB',
    'BWWWWWWWWB',
    'BWWWWWWWWWB',
    'BWWWWWWBBBBB',
    'BWWWBWWB',
    'BWWBBWWB',
    'BWB  BWWB',
    'BB   BWWB',
    'B     BWWB',
    '      BWWB',
    '       BWWB',
    '       BWWB',
    '        BB',
)


def pointer_canvas():
    canvas = Canvas(32, 32)
    for y, row in enumerate(POINTER):
        for x, cell in enumerate(row):
            if cell != ' ':
                canvas.blend(x, y, rgba(BLACK if cell == 'B' else WHITE))
    return canvas


def draw_no_entry(canvas, cx, cy):
    """Circle with a slash, white-rimmed so it shows on dark ground.

    Sampled at pixel centres only: a monochrome cursor wants hard edges.
    """
    canvas.draw(circle(cx, cy, 7), WHITE, 1)
    slash = line(cx - 4, cy - 4, cx + 4, cy + 4, 2.2) & circle(cx, cy, 5)
    canvas.draw((circle(cx, cy, 6) - circle(cx, cy, 4)) | slash, BLACK, 1)


def draw_plus(canvas, cx, cy, boxed):
    """A small plus; boxed gives the white square of the copy badge."""
    if boxed:
        canvas.draw(rect(cx - 5, cy - 5, cx + 6, cy + 6), BLACK)
        canvas.draw(rect(cx - 4, cy - 4, cx + 5, cy + 5), WHITE)
    else:
        canvas.draw(rect(cx - 3, cy - 1, cx + 4, cy + 2)
                    | rect(cx - 1, cy - 3, cx + 2, cy + 4), WHITE)
    canvas.draw(rect(cx - 2, cy, cx + 3, cy + 1)
                | rect(cx, cy - 2, cx + 1, cy + 3), BLACK)


def copy_no_cursor():
    canvas = pointer_canvas()
    draw_no_entry(canvas, 18, 22)
    draw_plus(canvas, 28, 28, boxed=False)
    return canvas


def copy_ok_cursor():
    canvas = pointer_canvas()
    draw_plus(canvas, 17, 23, boxed=True)
    return canvas


def move_no_cursor():
    canvas = pointer_canvas()
    draw_no_entry(canvas, 19, 23)
    return canvas


def draw_waves(canvas, x0, x1, base, amplitude, tint):
    """Two faint swells; low contrast so text on top stays readable."""
    width = x1 - x0

    def swell(phase, lift):
        return lambda x: (base - lift + amplitude
                          * math.sin((x - x0) / width * math.pi * 1.6 + phase))

    canvas.draw(below_curve(swell(0.6, 0), x0, x1, base - amplitude * 2,
                            canvas.height), (255, 255, 255, 70), 2)
    canvas.draw(below_curve(swell(2.2, amplitude * 0.8), x0, x1,
                            base - amplitude * 3, canvas.height),
                with_alpha(tint, 14), 2)


def background(scale=1):
    """Main window: title band, soft body, footer band for the progress bar.

    The bands' lines stay whole pixels at every scale, so they stay sharp.
    """
    w, h = round(570 * scale), round(450 * scale)
    head, foot = round(40 * scale), h - round(55 * scale)
    hair = int(scale)
    canvas = Canvas(w, h)
    canvas.gradient(0, 0, w, h, (226, 233, 241), (246, 248, 251))
    draw_waves(canvas, 0, w, foot - 30 * scale, 14 * scale, (80, 120, 170))
    canvas.gradient(0, 0, w, head, (192, 208, 226), (210, 222, 235))
    canvas.draw(rect(0, head, w, head + hair), (166, 184, 206))
    canvas.draw(rect(0, head + hair, w, head + 2 * hair), (240, 244, 248))
    canvas.gradient(0, foot, w, h, (231, 236, 242), (221, 228, 236))
    canvas.draw(rect(0, foot, w, foot + hair), (196, 207, 220))
    canvas.draw(rect(0, foot + hair, w, foot + 2 * hair), (248, 250, 252))
    return canvas


def about_picture(scale=1):
    w, h = round(330 * scale), round(100 * scale)
    canvas = Canvas(w, h)
    canvas.gradient(0, 0, w, h, (218, 227, 237), (244, 247, 250))
    draw_waves(canvas, 0, w, 78 * scale, 8 * scale, (80, 120, 170))
    canvas.draw(rect(0, 0, w, round(2 * scale)), (166, 184, 206))
    return canvas


def logo_letters(left, cap, x_height, base):
    """'Bexlo' as bold geometric letters on whole-pixel stems."""
    stem = 4
    x = left

    # B: the lower bowl is wider so the letter stands steady.
    bar = base - 4
    middle = cap + 8.5
    shape = (rounded_rect(x, cap, x + 12.5, middle + 3.5, 5)
             | rounded_rect(x, middle, x + 14, base, 6)
             | rect(x, cap, x + 6, base))
    shape -= rounded_rect(x + stem, cap + 3.5, x + 8.5, middle, 2)
    shape -= rounded_rect(x + stem, middle + 3.5, x + 10, bar, 2.5)
    x += 14 + 2

    # e and o share one round body so they match.
    rx, ry = 7.5, (base - x_height) / 2
    cy = x_height + ry

    def ring(cx):
        return (ellipse(cx, cy, rx, ry)
                - ellipse(cx, cy, rx - stem, ry - 3))

    cx = x + rx
    crossbar = rect(cx - rx, cy - 2, cx + rx, cy + 1)
    mouth = polygon([(cx + 1, cy + 1), (cx + rx + 1, cy + 1),
                     (cx + rx + 1, cy + 6.5)])
    shape |= (ring(cx) | crossbar) - mouth
    x += 2 * rx + 2

    band = rect(x - 1, x_height, x + 15, base)
    shape |= (line(x + 2, x_height - 2, x + 12, base + 2, stem + 0.5)
              | line(x + 12, x_height - 2, x + 2, base + 2, stem + 0.5)) & band
    x += 14 + 3

    shape |= rect(x, cap, x + stem, base)
    x += stem + 2

    return shape | ring(x + rx)


def logo(scale=1):
    canvas = Canvas(round(110 * scale), round(40 * scale))
    canvas.fill(WHITE)
    draw_drive(canvas, scale, scale, 32 * scale)
    cap, x_height, base = 8, 15, 31
    canvas.draw(scaled(logo_letters(37, cap, x_height, base), scale),
                vertical(cap * scale, base * scale, LOGO_TOP, LOGO_BOTTOM))
    return canvas


# Output ------------------------------------------------------------------

# The display scales the art is drawn for, in percent; bitmaps at scales above 100 % carry the
# scale in their names.
SCALES = (100, 125, 150, 175, 200)
SMALL_ICONS = tuple(16 * p // 100 for p in SCALES)
LARGE_ICONS = tuple(32 * p // 100 for p in SCALES)


def scaled_name(name, percent):
    return name if percent == 100 else name.replace('.', f'-{percent}.')


def build():
    art = {
        'app.ico': ico([app_icon(n) for n in sorted(set(SMALL_ICONS + LARGE_ICONS + (48,)))]),
        'newfolder.ico': ico([new_folder_icon(n)
                              for n in sorted(set(SMALL_ICONS + LARGE_ICONS))]),
        'copy_no.cur': cur(copy_no_cursor(), (0, 0)),
        'copy_ok.cur': cur(copy_ok_cursor(), (0, 0)),
        'move_no.cur': cur(move_no_cursor(), (0, 0)),
    }
    for percent in SCALES:
        scale = percent / 100
        for name, draw in (('background.bmp', background), ('about.bmp', about_picture),
                           ('logo.bmp', logo)):
            art[scaled_name(name, percent)] = bmp24(draw(scale))
    return art


def main(argv):
    default = Path(__file__).resolve().parent.parent / 'res'
    folder = Path(argv[1]) if len(argv) > 1 else default
    folder.mkdir(parents=True, exist_ok=True)
    for name, data in build().items():
        (folder / name).write_bytes(data)
        print(f'{name}: {len(data)} bytes')


if __name__ == '__main__':
    main(sys.argv)
