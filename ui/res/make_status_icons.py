#!/usr/bin/env python3
"""Draws the three 16 x 16 status icons of the settings and Browser Helper Object lists.

status_i.ico   red circle, white exclamation mark   (a value that needs attention)
status_ok.ico  green circle, white check mark       (a known safe value)
status_ie.ico  green circle, white exclamation mark (the browser's own start page)

Standard library only; run it from anywhere to rewrite the files beside it.
"""
import math
import os
import struct

SIZE = 16
RED = (0xD0, 0x20, 0x20)
GREEN = (0x20, 0x9A, 0x30)
WHITE = (0xFF, 0xFF, 0xFF)


def exclamation(x, y):
    cx = 7.5
    return abs(x - cx) <= 1.0 and (3 <= y <= 9 or 11 <= y <= 12)


def check(x, y):
    # two strokes: down-right from (4, 8) to (7, 11), up-right from (7, 11) to (12, 5)
    def near(ax, ay, bx, by):
        px, py = x - ax, y - ay
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, (px * dx + py * dy) / (dx * dx + dy * dy)))
        return math.hypot(px - t * dx, py - t * dy) <= 1.1
    return near(4, 8, 7, 11) or near(7, 11, 12, 5)


def draw(colour, mark):
    """Rows of (b, g, r, a) pixels, top row first."""
    rows = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            d = math.hypot(x - 7.5, y - 7.5)
            if d > 7.6:
                row.append((0, 0, 0, 0))
                continue
            r, g, b = WHITE if mark(x, y) else colour
            # a softer rim: the outermost ring is half transparent
            a = 0x80 if d > 7.0 else 0xFF
            row.append((b, g, r, a))
        rows.append(row)
    return rows


def ico(rows):
    """One 32-bit image in an .ico file, with its AND mask for the older shells."""
    xor = b"".join(bytes(p) for row in reversed(rows) for p in row)
    mask = b""
    for row in reversed(rows):
        bits = 0
        for x, p in enumerate(row):
            if p[3] == 0:
                bits |= 1 << (15 - x)
        mask += struct.pack(">H", bits) + b"\0\0"  # rows padded to 32 bits
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, colour, mark in (("status_i.ico", RED, exclamation),
                               ("status_ok.ico", GREEN, check),
                               ("status_ie.ico", GREEN, exclamation)):
        with open(os.path.join(here, name), "wb") as f:
            f.write(ico(draw(colour, mark)))


if __name__ == "__main__":
    main()
