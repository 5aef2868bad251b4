#!/usr/bin/env python3
"""Draws the Lumidot panel's banner and writes it as a .bmp file beside this script.

banner.bmp  312 x 60, 256 colours: soft light dots where a sine band across u meets a
            cosine band across v, on a dark teal ground.

Run it again after changing the art; the output is deterministic.
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write_bmp(name, width, height, palette, rows_top_down):
    stride = (width * 8 + 31) // 32 * 4
    data = bytearray()
    for row in reversed(rows_top_down):
        packed = bytes(row)
        data += packed + b"\0" * (stride - len(packed))
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    offset = 14 + 40 + len(pal)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(data), 2835, 2835,
                       len(palette), 0)
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(header + info + pal + bytes(data))


def banner():
    width, height = 312, 60
    palette = []
    for i in range(256):
        t = i / 255.0
        palette.append((int(10 + 245 * t * t), int(40 + 200 * t), int(50 + 150 * t)))
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            su = math.sin(x / width * 2.0 * math.pi * 9.0)
            cv = math.cos(y / height * 2.0 * math.pi * 2.0)
            w = max(0.0, su) * max(0.0, cv)
            v = 0.08 + 0.85 * w ** 1.5
            row.append(max(0, min(255, int(v * 255))))
        rows.append(row)
    write_bmp("banner.bmp", width, height, palette, rows)


if __name__ == "__main__":
    banner()
