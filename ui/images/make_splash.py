#!/usr/bin/env python3
"""Draws the splash window's picture: 400 x 316 pixels, 256 colours, the product name on a plain
design (a blue gradient, a light frame, the name in large letters and the maker below).
Standard library only; run it from anywhere, it writes Splash.bmp beside itself."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
WIDTH, HEIGHT = 400, 316

# Palette: 0..191 a gradient from deep navy to a clear blue, then the fixed colours.
GRADIENT = 192
WHITE, FRAME, SHADOW, GOLD = 192, 193, 194, 195


def palette():
    colours = []
    for i in range(GRADIENT):
        t = i / (GRADIENT - 1)
        colours.append((int(16 + 40 * t), int(24 + 80 * t), int(72 + 150 * t)))
    colours += [(255, 255, 255), (200, 214, 240), (8, 12, 40), (240, 196, 64)]
    colours += [(0, 0, 0)] * (256 - len(colours))
    return colours


# A 5 x 7 pixel font of the letters the picture uses; "#" is ink.
FONT = {
    "V": ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "A": ["..#..", ".#.#.", "#...#", "#...#", "#####", "#...#", "#...#"],
    "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "b": ["#....", "#....", "####.", "#...#", "#...#", "#...#", "####."],
    "d": ["....#", "....#", ".####", "#...#", "#...#", "#...#", ".####"],
    "e": [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    "f": ["..##.", ".#...", "####.", ".#...", ".#...", ".#...", ".#..."],
    "i": ["..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###."],
    "k": ["#....", "#....", "#..#.", "#.#..", "##...", "#.#..", "#..#."],
    "l": [".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "m": [".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"],
    "n": [".....", ".....", "####.", "#...#", "#...#", "#...#", "#...#"],
    "o": [".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."],
    "p": [".....", ".....", "####.", "#...#", "####.", "#....", "#...."],
    "r": [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    "s": [".....", ".....", ".####", "#....", ".###.", "....#", "####."],
    "t": [".#...", ".#...", "####.", ".#...", ".#...", ".#..#", "..##."],
    "u": [".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"],
    "v": [".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "w": [".....", ".....", "#...#", "#...#", "#.#.#", "#.#.#", ".#.#."],
    ":": [".....", "..#..", "..#..", ".....", "..#..", "..#..", "....."],
    " ": [".....", ".....", ".....", ".....", ".....", ".....", "....."],
}


def text_width(text, scale):
    return len(text) * 6 * scale - scale


def draw_text(pixels, text, top, scale, colour, shadow=None):
    left = (WIDTH - text_width(text, scale)) // 2
    for layer, (dx, dy, ink) in enumerate(((scale // 2, scale // 2, shadow), (0, 0, colour))):
        if ink is None:
            continue
        for n, ch in enumerate(text):
            glyph = FONT[ch]
            for gy, row in enumerate(glyph):
                for gx, cell in enumerate(row):
                    if cell != "#":
                        continue
                    x0 = left + (n * 6 + gx) * scale + dx
                    y0 = top + gy * scale + dy
                    for y in range(y0, y0 + scale):
                        for x in range(x0, x0 + scale):
                            if 0 <= x < WIDTH and 0 <= y < HEIGHT:
                                pixels[y][x] = ink


def picture():
    pixels = [[0] * WIDTH for _ in range(HEIGHT)]
    for y in range(HEIGHT):
        shade = (GRADIENT - 1) - y * (GRADIENT - 1) // (HEIGHT - 1)
        for x in range(WIDTH):
            pixels[y][x] = shade
    for y in range(HEIGHT):  # a frame two pixels wide, six in from the edge
        for x in range(WIDTH):
            inside = 6 <= x < WIDTH - 6 and 6 <= y < HEIGHT - 6
            inner = 8 <= x < WIDTH - 8 and 8 <= y < HEIGHT - 8
            if inside and not inner:
                pixels[y][x] = FRAME
    for x in range(100, 300):  # a gold rule under the name
        for y in range(176, 179):
            pixels[y][x] = GOLD
    draw_text(pixels, "Velmora", 104, 8, WHITE, SHADOW)
    draw_text(pixels, "about:blank parasite remover", 196, 2, WHITE)
    draw_text(pixels, "Ardentis Software", 276, 2, FRAME)
    return pixels


def write_bmp(path, pixels, colours):
    row_size = (WIDTH + 3) & ~3
    image = bytearray()
    for y in range(HEIGHT - 1, -1, -1):  # bottom-up rows
        row = bytes(pixels[y])
        image += row + b"\0" * (row_size - WIDTH)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in colours)
    offset = 14 + 40 + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 0, len(image), 3780, 3780, 256, 0)
    with open(path, "wb") as f:
        f.write(header + info + table + image)


if __name__ == "__main__":
    write_bmp(os.path.join(HERE, "Splash.bmp"), picture(), palette())
