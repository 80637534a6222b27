#!/usr/bin/env python3
"""Draws the program's pictures as PNG files: the three 16 x 16 result pictures and the
32 x 32 program icon (16 colours). Run it from this folder to remake them."""
import math
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

# A page with its top right corner folded, three short dark-blue text lines.
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
PAGE = [row.replace("ww .", "www.") for row in PAGE]


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


def icon():
    """A white-gloved hand with a black cuff at the lower right, holding a black magic wand
    that runs to the upper left and ends in a white tip."""
    size = 32
    pixels = [[CLEAR] * size for _ in range(size)]

    def put(x, y, colour):
        if 0 <= x < size and 0 <= y < size:
            pixels[y][x] = colour

    def distance_to_segment(px, py, ax, ay, bx, by):
        vx, vy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((px - ax) * vx + (py - ay) * vy) / (vx * vx + vy * vy)))
        return math.hypot(px - (ax + t * vx), py - (ay + t * vy))

    # The wand, with a black outline around its white tip.
    for y in range(size):
        for x in range(size):
            if distance_to_segment(x, y, 3, 3, 21, 21) < 1.6:
                put(x, y, BLACK)
            if distance_to_segment(x, y, 2, 2, 6, 6) < 1.1:
                put(x, y, WHITE)
    # Sparkles round the tip.
    for x, y in [(8, 1), (9, 2), (1, 8), (2, 9), (10, 5), (5, 10)]:
        put(x, y, SILVER)
    # The gloved hand: four fingers wrapped round the wand on its lower left, the thumb on
    # its upper right, the palm behind them; white with a black outline.
    along, across = (0.7071, 0.7071), (-0.7071, 0.7071)
    fingers = [(14 + k * 3.2 * along[0] + 2.6 * across[0], 14 + k * 3.2 * along[1] + 2.6 * across[1])
               for k in range(4)]

    def in_glove(x, y):
        if ((x - 21.0) / 5.6) ** 2 + ((y - 20.5) / 5.6) ** 2 <= 1.0:
            return True
        if math.hypot(x - 18.0, y - 13.5) <= 2.4:
            return True
        return any(math.hypot(x - fx, y - fy) <= 2.5 for fx, fy in fingers)

    for y in range(size):
        for x in range(size):
            if in_glove(x, y):
                edge = not all(in_glove(x + dx, y + dy)
                               for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
                put(x, y, BLACK if edge else WHITE)
    # Grey creases between the fingers.
    for k in range(3):
        fx = (fingers[k][0] + fingers[k + 1][0]) / 2
        fy = (fingers[k][1] + fingers[k + 1][1]) / 2
        for t in (-1.0, 0.0, 1.0):
            put(round(fx + t * across[0]), round(fy + t * across[1]), GREY)
    # The black cuff at the lower right.
    for y in range(size):
        for x in range(size):
            if 25.0 <= (x + y) / 2.0 <= 29.0 and abs(x - y) <= 6.5:
                put(x, y, BLACK)
    return pixels


if __name__ == "__main__":
    palette = {" ": CLEAR, ".": BLACK, "y": YELLOW, "w": WHITE, "g": GREY, "n": NAVY}
    write_png("folder.png", from_art(FOLDER, palette))
    write_png("page.png", from_art(PAGE, palette))
    write_png("failed.png", failed())
    write_png("Tovana.png", icon())
