#!/usr/bin/env python3
"""Converts an uncompressed 24-bit BMP (as the demo's helper program saves a window) to PNG.
Standard library only.
    bmp2png.py IN.bmp OUT.png"""
import struct
import sys
import zlib


def convert(src, dst):
    data = open(src, 'rb').read()
    if data[:2] != b'BM':
        raise SystemExit(f'{src}: not a BMP file')
    offset = struct.unpack_from('<I', data, 10)[0]
    width, height, _, bits, compression = struct.unpack_from('<iiHHI', data, 18)
    if bits != 24 or compression != 0:
        raise SystemExit(f'{src}: only uncompressed 24-bit pictures are handled')
    stride = ((width * 24 + 31) // 32) * 4
    rows = []
    for y in range(abs(height)):
        src_row = (abs(height) - 1 - y) if height > 0 else y  # bottom-up unless the height is negative
        start = offset + src_row * stride
        bgr = data[start:start + width * 3]
        rgb = bytearray(len(bgr))
        rgb[0::3], rgb[1::3], rgb[2::3] = bgr[2::3], bgr[1::3], bgr[0::3]
        rows.append(b'\0' + bytes(rgb))

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body) & 0xFFFFFFFF)

    png = b'\x89PNG\r\n\x1a\n'
    png += chunk(b'IHDR', struct.pack('>IIBBBBB', width, abs(height), 8, 2, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(b''.join(rows), 9))
    png += chunk(b'IEND', b'')
    with open(dst, 'wb') as f:
        f.write(png)


if __name__ == '__main__':
    convert(sys.argv[1], sys.argv[2])
