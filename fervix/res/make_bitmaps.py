#!/usr/bin/env python3
"""Draws the Fervix panel's pictures and writes them as .bmp files beside this script.

banner.bmp     311 x 60, 256 colours: glowing plasma from deep red to yellow.
separator.bmp  338 x 4, 16 colours: a thin bevelled rule.

Run it again after changing the art; the output is deterministic.
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write_bmp(name, width, height, bpp, palette, rows_top_down):
    stride = (width * bpp + 31) // 32 * 4
    data = bytearray()
    for row in reversed(rows_top_down):
        if bpp == 8:
            packed = bytes(row)
        else:
            padded = list(row) + [0] * (len(row) % 2)
            packed = bytes((padded[i] << 4) | padded[i + 1] for i in range(0, len(padded), 2))
        data += packed + b"\0" * (stride - len(packed))
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    offset = 14 + 40 + len(pal)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, 0, len(data), 2835, 2835,
                       len(palette), 0)
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(header + info + pal + bytes(data))


def banner():
    width, height = 311, 60
    # Fire colours: black, red, orange, yellow, white.
    palette = []
    for i in range(256):
        t = i / 255.0
        palette.append((int(min(1.0, 2.0 * t) * 255), int(max(0.0, min(1.0, 2.0 * t - 0.5)) * 255),
                        int(max(0.0, 2.0 * t - 1.2) / 0.8 * 255 if t > 0.6 else 0)))
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            u, v = x / width, y / height
            plasma = (math.sin(u * 17.0 + math.sin(v * 5.0) * 2.0) +
                      math.sin(v * 11.0 - u * 6.0) +
                      math.sin(math.hypot(u - 0.3, v - 0.5) * 24.0)) / 3.0
            glow = 0.45 + 0.4 * plasma - 0.25 * abs(v - 0.5)
            row.append(max(0, min(255, int(glow * 255))))
        rows.append(row)
    write_bmp("banner.bmp", width, height, 8, palette, rows)


def separator():
    width, height = 338, 4
    palette = [(0, 0, 0), (128, 128, 128), (192, 192, 192), (255, 255, 255)] + [(0, 0, 0)] * 12
    rows = [[1] * width, [3] * width, [2] * width, [1] * width]
    write_bmp("separator.bmp", width, height, 4, palette, rows)


if __name__ == "__main__":
    banner()
    separator()
