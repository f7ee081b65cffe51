#!/usr/bin/env python3
"""Draws the Browser Helper Object tab's row icon: a 16 x 16 red disc with a white exclamation
mark, 32-bit with an alpha channel (soft edges) and a mask for displays without one. Standard
library only; run it from anywhere, it writes BhoRow.ico beside itself."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
N = 16
SUB = 4  # samples per pixel along each axis

RED = (200, 24, 24)
DARK_RED = (150, 10, 10)
WHITE = (255, 255, 255)


def sample(x, y):
    """Colour and coverage (0 or 1) of one point of the picture, in pixel units."""
    c = N / 2.0
    r2 = (x - c) ** 2 + (y - c) ** 2
    if r2 > (N / 2.0 - 0.5) ** 2:
        return None
    # The exclamation mark: a bar that narrows downwards, and a dot below it.
    if 2.8 <= y <= 9.8:
        half = 1.35 - 0.35 * (y - 2.8) / 7.0
        if abs(x - c) <= half:
            return WHITE
    if (x - c) ** 2 + (y - 12.0) ** 2 <= 1.45 ** 2:
        return WHITE
    return RED if r2 < (N / 2.0 - 1.6) ** 2 else DARK_RED


def pixels():
    rows = []
    for py in range(N):
        row = []
        for px in range(N):
            acc = [0, 0, 0]
            hits = 0
            for sy in range(SUB):
                for sx in range(SUB):
                    col = sample(px + (sx + 0.5) / SUB, py + (sy + 0.5) / SUB)
                    if col:
                        hits += 1
                        for i in range(3):
                            acc[i] += col[i]
            if hits:
                row.append(tuple(a // hits for a in acc) + (255 * hits // (SUB * SUB),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def icon_bytes(rows):
    xor = b""
    for row in reversed(rows):  # bottom-up
        for r, g, b, a in row:
            xor += struct.pack("BBBB", b, g, r, a)
    mask = b""
    for row in reversed(rows):
        bits = 0
        for px, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits |= 1 << (31 - px)  # set bit: transparent
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, N, N * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", N, N, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    with open(os.path.join(HERE, "BhoRow.ico"), "wb") as f:
        f.write(icon_bytes(pixels()))
