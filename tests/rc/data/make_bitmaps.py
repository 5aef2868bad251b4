#!/usr/bin/env python3
"""Writes the small test bitmaps under res/ (run from this folder)."""
import struct


def bmp(width, height, bpp, palette, rows):
    """rows: the file's rows in file order, each a bytes object without padding."""
    stride = (width * bpp + 31) // 32 * 4
    pixels = b"".join(r + b"\0" * (stride - len(r)) for r in rows)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    offset = 14 + 40 + len(pal)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, 0, len(pixels), 2835, 2835,
                       len(palette), 0)
    return header + info + pal + pixels


def nibbles(indices):
    if len(indices) % 2:
        indices = indices + [0]
    return bytes((indices[i] << 4) | indices[i + 1] for i in range(0, len(indices), 2))


def bits(values):
    out = bytearray()
    for i in range(0, len(values), 8):
        chunk = values[i:i + 8] + [0] * (8 - len(values[i:i + 8]))
        out.append(sum(v << (7 - k) for k, v in enumerate(chunk)))
    return bytes(out)


# 24-bit, 2 x 2, top-down: red, green / blue, (10, 20, 30).
rgb = bmp(2, -2, 24, [], [bytes([0, 0, 255, 0, 255, 0]), bytes([255, 0, 0, 30, 20, 10])])
# 4-bit, 3 x 2, bottom-up, three palette entries. Top row 1 1 2, bottom row 2 1 0.
pal4 = bmp(3, 2, 4, [(0, 0, 0), (255, 128, 0), (0, 64, 255)], [nibbles([2, 1, 0]), nibbles([1, 1, 2])])
# 1-bit, 9 x 2, bottom-up. Top row 101010101, bottom row 000000001.
mono = bmp(9, 2, 1, [(0, 0, 0), (255, 255, 255)],
           [bits([0, 0, 0, 0, 0, 0, 0, 0, 1]), bits([1, 0, 1, 0, 1, 0, 1, 0, 1])])

for name, data in (("rgb24.bmp", rgb), ("pal4.bmp", pal4), ("mono.bmp", mono)):
    with open("res/" + name, "wb") as f:
        f.write(data)
