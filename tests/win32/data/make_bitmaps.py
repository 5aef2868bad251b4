#!/usr/bin/env python3
"""Writes the small test bitmaps under res/ (run from this folder)."""
import struct


def bmp24(width, height, rows):
    """rows: top row first, each a list of (r, g, b); written bottom-up."""
    stride = (width * 3 + 3) // 4 * 4
    data = b""
    for row in reversed(rows):
        line = b"".join(struct.pack("<BBB", b, g, r) for (r, g, b) in row)
        data += line + b"\0" * (stride - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + data


# A 4 x 2 picture: red, green, blue, white / black, grey, yellow, cyan.
picture = bmp24(4, 2, [[(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255)],
                       [(0, 0, 0), (128, 128, 128), (255, 255, 0), (0, 255, 255)]])
# Two 3 x 2 images side by side: dark blue, then light blue with a white corner.
strip = bmp24(6, 2, [[(0, 0, 128)] * 3 + [(128, 128, 255)] * 2 + [(255, 255, 255)],
                     [(0, 0, 128)] * 3 + [(128, 128, 255)] * 3])
# The mask of the strip: white (transparent) only at the corner.
mask = bmp24(6, 2, [[(0, 0, 0)] * 5 + [(255, 255, 255)], [(0, 0, 0)] * 6])

for name, data in (("picture.bmp", picture), ("strip.bmp", strip), ("mask.bmp", mask)):
    with open("res/" + name, "wb") as f:
        f.write(data)
