#!/usr/bin/env python3
"""Draws the Lumidot panel's banner and writes it as a .bmp file beside this script.

banner.bmp  312 x 60, 256 colours: soft light dots where a sine band across u meets a
            cosine band across v, on a dark teal ground.

Run it again after changing the art; the output is deterministic.
"""
import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools", "artwork"))
from bmp import write_bmp  # noqa: E402


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
    write_bmp(os.path.join(HERE, "banner.bmp"), width, height, 8, palette, rows)


if __name__ == "__main__":
    banner()
