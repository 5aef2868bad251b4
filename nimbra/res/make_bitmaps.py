#!/usr/bin/env python3
"""Draws the Nimbra panel's pictures and writes them as .bmp files beside this script.

banner.bmp     310 x 60, 256 colours: a sky gradient with soft clouds and the name.
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
    width, height = 310, 60
    # 256 shades from deep blue to white.
    palette = []
    for i in range(256):
        t = i / 255.0
        palette.append((int(40 + 215 * t), int(70 + 185 * t), int(170 + 85 * t)))
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            sky = 0.25 + 0.35 * (1.0 - y / height)
            cloud = 0.0
            for cx, cy, r in ((60, 34, 22), (95, 28, 26), (140, 36, 20), (230, 30, 24),
                              (262, 38, 18)):
                d = math.hypot((x - cx) / 1.6, y - cy) / r
                cloud = max(cloud, max(0.0, 1.0 - d * d))
            v = min(1.0, sky + 0.65 * cloud)
            row.append(int(v * 255))
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
