#!/usr/bin/env python3
"""Draws the Nimbra panel's pictures and writes them as .bmp files beside this script.

banner.bmp     310 x 60, 256 colours: a sky gradient with soft clouds and the name.
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
    write_bmp(os.path.join(HERE, "banner.bmp"), width, height, 8, palette, rows)


if __name__ == "__main__":
    banner()
    write_separator(os.path.join(HERE, "separator.bmp"))
