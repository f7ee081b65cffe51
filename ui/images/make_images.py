#!/usr/bin/env python3
"""Draws the main window's pictures: the program icon (32 x 32 and 16 x 16, 16 colours), the
About window's 64 x 64 picture and the visit label's pointer. Standard library only; run it from
anywhere, it writes beside itself."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# The 16 standard colours, as (r, g, b).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, NAVY, GREY, WHITE, YELLOW, BLUE = 0, 4, 7, 15, 11, 12


def logo(x, y, n):
    """The product mark: a navy disc with a white rim and a white V with a yellow spark.
    Returns a palette index, or None outside the disc (transparent)."""
    c = (n - 1) / 2.0
    dx, dy = (x - c) / (n / 2.0), (y - c) / (n / 2.0)
    r2 = dx * dx + dy * dy
    if r2 > 1.0:
        return None
    if r2 > 0.78:
        return WHITE if r2 < 0.93 else GREY
    # The V: two strokes from the top corners down to the bottom middle.
    u, v = (x + 0.5) / n, (y + 0.5) / n  # 0..1, v down
    if 0.22 <= v <= 0.78:
        t = (v - 0.22) / 0.56
        left = 0.26 + 0.24 * t
        right = 0.74 - 0.24 * t
        width = 0.11
        if abs(u - left) < width / 2 or abs(u - right) < width / 2:
            return WHITE
    if (u - 0.72) ** 2 + (v - 0.28) ** 2 < 0.006:
        return YELLOW
    return NAVY if dy > -0.2 else BLUE


def row_bytes(bits, width):
    return ((width * bits + 31) // 32) * 4


def icon_image(n):
    """One 4-bit icon image (header, palette, colour bits, mask), bottom-up rows."""
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 4, 0, 0, 0, 0, 16, 0)
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    xor, mask = b'', b''
    for y in reversed(range(n)):
        row = bytearray(row_bytes(4, n))
        mrow = bytearray(row_bytes(1, n))
        for x in range(n):
            p = logo(x, y, n)
            if p is None:
                mrow[x // 8] |= 0x80 >> (x % 8)
                p = 0
            row[x // 2] |= p << (4 if x % 2 == 0 else 0)
        xor += bytes(row)
        mask += bytes(mrow)
    return header + pal + xor + mask


def write_icon(path, sizes):
    images = [icon_image(n) for n in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n, n, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


def write_about_bitmap(path, n=64):
    """The About window's picture: the product mark on the window's dark blue, 24-bit."""
    back = (0, 0, 102)
    stride = row_bytes(24, n)
    pixels = b''
    for y in reversed(range(n)):
        row = bytearray()
        for x in range(n):
            p = logo(x, y, n)
            r, g, b = back if p is None else PALETTE[p]
            row += bytes((b, g, r))
        pixels += bytes(row) + b'\0' * (stride - len(row))
    info = struct.pack('<IiiHHIIiiII', 40, n, n, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    head = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(head + info + pixels)


# The visit label's pointer: an upward arrow over a short underline (a link), hot spot at the tip.
POINTER = [
    "X...............",
    "XX..............",
    "XWX.............",
    "XWWX............",
    "XWWWX...........",
    "XWWWWX..........",
    "XWWWWWX.........",
    "XWWWWWWX........",
    "XWWWWWWWX.......",
    "XWWWWWXXXX......",
    "XWWXWWX.........",
    "XWX.XWWX........",
    "XX..XWWX........",
    "X....XWWX.......",
    ".....XWWX.......",
    "......XX........",
    "................",
    "..XXXXXXXXXXXX..",
    "..XWWWWWWWWWWX..",
    "..XXXXXXXXXXXX..",
]


def write_cursor(path, n=32):
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 1, 0, 0, 0, 0, 2, 0)
    pal = struct.pack('<BBBBBBBB', 0, 0, 0, 0, 255, 255, 255, 0)
    xor, mask = b'', b''
    for y in reversed(range(n)):
        row = bytearray(row_bytes(1, n))
        mrow = bytearray(row_bytes(1, n))
        line = POINTER[y] if y < len(POINTER) else ''
        for x in range(n):
            ch = line[x] if x < len(line) else '.'
            if ch == '.':
                mrow[x // 8] |= 0x80 >> (x % 8)
            elif ch == 'W':
                row[x // 8] |= 0x80 >> (x % 8)
        xor += bytes(row)
        mask += bytes(mrow)
    data = header + pal + xor + mask
    out = struct.pack('<HHH', 0, 2, 1) + struct.pack('<BBBBHHII', n, n, 0, 0, 0, 0, len(data), 22)
    with open(path, 'wb') as f:
        f.write(out + data)


if __name__ == '__main__':
    write_icon(os.path.join(HERE, 'Velmora.ico'), [32, 16])
    write_about_bitmap(os.path.join(HERE, 'About.bmp'))
    write_cursor(os.path.join(HERE, 'Visit.cur'))
