#!/usr/bin/env python3
"""Draws the Fervix panel's pictures and writes them as .bmp files beside this script.

banner.bmp     311 x 60, 256 colours: glowing plasma from deep red to yellow.
separator.bmp  338 x 4, 16 colours: a thin bevelled rule.

Run it again after changing the art; the output is deterministic.
"""
import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools", "artwork"))
from bmp import write_bmp, write_separator  # noqa: E402


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
    write_bmp(os.path.join(HERE, "banner.bmp"), width, height, 8, palette, rows)


if __name__ == "__main__":
    banner()
    write_separator(os.path.join(HERE, "separator.bmp"))
