#!/usr/bin/env python3
"""Draws the program's pictures as PNG files: the three 16 x 16 result pictures and the
32 x 32 program icon (16 colours), and the icon at the sizes of the desktop's icon theme. Run
it from this folder to remake them."""
import math
import os
import struct
import zlib

BLACK = (0, 0, 0, 255)
WHITE = (255, 255, 255, 255)
YELLOW = (255, 255, 0, 255)
DARK_YELLOW = (128, 128, 0, 255)
GREY = (128, 128, 128, 255)
SILVER = (192, 192, 192, 255)
RED = (255, 0, 0, 255)
NAVY = (0, 0, 128, 255)
CLEAR = (0, 0, 0, 0)


def write_png(path, pixels):
    height, width = len(pixels), len(pixels[0])
    raw = b"".join(b"\x00" + b"".join(struct.pack("4B", *p) for p in row) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


MASK = (255, 0, 255)  # stands for transparent in the Windows bitmaps


def write_bmp(path, pixels):
    """A 24-bit bitmap, transparent pixels in MASK colour, for a masked image list."""
    height, width = len(pixels), len(pixels[0])
    row_size = (width * 3 + 3) // 4 * 4
    rows = []
    for row in reversed(pixels):
        data = b"".join(bytes((b, g, r)) if a else bytes(reversed(MASK)) for r, g, b, a in row)
        rows.append(data + b"\0" * (row_size - len(data)))
    image = b"".join(rows)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(image), 3780, 3780, 0, 0)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + 40 + len(image), 0, 0, 14 + 40))
        f.write(header + image)


def write_ico(path, pixels):
    """A 16-colour icon (4 bits a pixel and a transparency mask)."""
    height, width = len(pixels), len(pixels[0])
    colours = sorted({p[:3] for row in pixels for p in row if p[3]})
    assert len(colours) <= 16, colours
    palette = colours + [(0, 0, 0)] * (16 - len(colours))
    xor_rows, and_rows = [], []
    for row in reversed(pixels):
        nibbles = [palette.index(p[:3]) if p[3] else 0 for p in row]
        xor = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, width, 2))
        xor_rows.append(xor + b"\0" * ((4 - len(xor) % 4) % 4))
        bits = 0
        mask = bytearray()
        for i, p in enumerate(row):
            bits = (bits << 1) | (0 if p[3] else 1)
            if i % 8 == 7:
                mask.append(bits)
                bits = 0
        and_rows.append(bytes(mask) + b"\0" * ((4 - len(mask) % 4) % 4))
    image = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    image += b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    image += b"".join(xor_rows) + b"".join(and_rows)
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, 1))
        f.write(struct.pack("<BBBBHHII", width, height, 16, 0, 1, 4, len(image), 6 + 16))
        f.write(image)


def from_art(art, palette):
    return [[palette[ch] for ch in row] for row in art]


# A closed folder: tab at the top left, yellow and white checked front, grey bottom edge.
FOLDER = [
    "                ",
    "                ",
    "  .....         ",
    " .ywywy.        ",
    " .wywywy....... ",
    " .ywywywywywyw. ",
    " .wywywywywywy. ",
    " .ywywywywywyw. ",
    " .wywywywywywy. ",
    " .ywywywywywyw. ",
    " .wywywywywywy. ",
    " .ywywywywywyw. ",
    " .gggggggggggg. ",
    " .............. ",
    "                ",
    "                ",
]

# A page with its top right corner folded, three short dark-blue text lines, clear inside.
PAGE = [
    "                ",
    "  ........      ",
    "  .wwwwww..     ",
    "  .wwwwww.w.    ",
    "  .wwwwww.ww.   ",
    "  .wwwwww....   ",
    "  .wnnnnnnww.   ",
    "  .wwwwwwwww.   ",
    "  .wnnnnnnnw.   ",
    "  .wwwwwwwww.   ",
    "  .wnnnnnww .   ",
    "  .wwwwwwwww.   ",
    "  .wwwwwwwww.   ",
    "  .wwwwwwwww.   ",
    "  ...........   ",
    "                ",
]
# The page is clear inside: only its outline and text lines are drawn, so the row's fill (the
# highlight on a selected row) shows through.
PAGE = [row.replace("ww .", "www.").replace("w", " ") for row in PAGE]


def failed():
    """A red disc with a black rim and a white diagonal cross."""
    pixels = []
    for y in range(16):
        row = []
        for x in range(16):
            dx, dy = x - 7.5, y - 7.5
            d = math.hypot(dx, dy)
            if d > 7.4:
                row.append(CLEAR)
            elif d > 6.2:
                row.append(BLACK)
            elif abs(abs(dx) - abs(dy)) < 1.0 and max(abs(dx), abs(dy)) < 4.1:
                row.append(WHITE)
            else:
                row.append(RED)
        pixels.append(row)
    return pixels


def icon_colour(x, y):
    """The colour of the icon at (x, y) on its 32 x 32 grid, pixel centres at whole numbers:
    a white-gloved hand with a black cuff at the lower right, holding a black magic wand that
    runs to the upper left and ends in a white tip."""

    def distance_to_segment(px, py, ax, ay, bx, by):
        vx, vy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((px - ax) * vx + (py - ay) * vy) / (vx * vx + vy * vy)))
        return math.hypot(px - (ax + t * vx), py - (ay + t * vy))

    def on_pixel(px, py):
        return abs(x - px) < 0.5 and abs(y - py) < 0.5

    colour = CLEAR
    # The wand, with a black outline around its white tip.
    if distance_to_segment(x, y, 3, 3, 21, 21) < 1.6:
        colour = BLACK
    if distance_to_segment(x, y, 2, 2, 6, 6) < 1.1:
        colour = WHITE
    # Sparkles round the tip.
    if any(on_pixel(px, py) for px, py in [(8, 1), (9, 2), (1, 8), (2, 9), (10, 5), (5, 10)]):
        colour = SILVER
    # The gloved hand: four fingers wrapped round the wand on its lower left, the thumb on
    # its upper right, the palm behind them; white with a black outline.
    along, across = (0.7071, 0.7071), (-0.7071, 0.7071)
    fingers = [(14 + k * 3.2 * along[0] + 2.6 * across[0], 14 + k * 3.2 * along[1] + 2.6 * across[1])
               for k in range(4)]

    def in_glove(gx, gy):
        if ((gx - 21.0) / 5.6) ** 2 + ((gy - 20.5) / 5.6) ** 2 <= 1.0:
            return True
        if math.hypot(gx - 18.0, gy - 13.5) <= 2.4:
            return True
        return any(math.hypot(gx - fx, gy - fy) <= 2.5 for fx, fy in fingers)

    if in_glove(x, y):
        edge = not all(in_glove(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
        colour = BLACK if edge else WHITE
    # Grey creases between the fingers.
    for k in range(3):
        fx = (fingers[k][0] + fingers[k + 1][0]) / 2
        fy = (fingers[k][1] + fingers[k + 1][1]) / 2
        for t in (-1.0, 0.0, 1.0):
            if on_pixel(round(fx + t * across[0]), round(fy + t * across[1])):
                colour = GREY
    # The black cuff at the lower right.
    if 25.0 <= (x + y) / 2.0 <= 29.0 and abs(x - y) <= 6.5:
        colour = BLACK
    return colour


def icon(size=32):
    """The program icon at size x size pixels. At 32 it is the program file's 16-colour icon;
    other sizes (the desktop's icon theme) sample the same drawing, smoothed at the edges."""
    if size == 32:
        return [[icon_colour(x, y) for x in range(32)] for y in range(32)]
    samples = 4 if size <= 64 else 2
    pixels = []
    for j in range(size):
        row = []
        for i in range(size):
            total = [0.0, 0.0, 0.0, 0.0]
            for b in range(samples):
                for a in range(samples):
                    x = (i + (a + 0.5) / samples) * 32 / size - 0.5
                    y = (j + (b + 0.5) / samples) * 32 / size - 0.5
                    r, g, bl, alpha = icon_colour(x, y)
                    total = [total[0] + r * alpha, total[1] + g * alpha, total[2] + bl * alpha,
                             total[3] + alpha]
            if total[3] == 0:
                row.append(CLEAR)
            else:
                row.append(tuple(round(c / total[3]) for c in total[:3]) +
                           (round(total[3] / samples / samples),))
        pixels.append(row)
    return pixels


# The sizes desktops ask for in the icon theme (res/icons/NxN/tovana.png).
THEME_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


if __name__ == "__main__":
    palette = {" ": CLEAR, ".": BLACK, "y": YELLOW, "w": WHITE, "g": GREY, "n": NAVY}
    pictures = {"folder": from_art(FOLDER, palette), "page": from_art(PAGE, palette),
                "failed": failed()}
    for name, pixels in pictures.items():
        write_png(name + ".png", pixels)
        write_bmp(name + ".bmp", pixels)
    write_png("Tovana.png", icon())
    write_ico("Tovana.ico", icon())
    for size in THEME_SIZES:
        os.makedirs("icons/%dx%d" % (size, size), exist_ok=True)
        write_png("icons/%dx%d/tovana.png" % (size, size), icon(size))
