#!/usr/bin/env python3
"""Draws the filter's pictures and writes them as .bmp files beside this script.

leftduck.bmp / rightduck.bmp  128 x 128, 8-bit grey: the calibration duck on black, grey
                              levels up to 220; the right-eye duck stands 21 pixels further
                              right than the left-eye duck.
ducktest.bmp                  128 x 128, 16 colours: both ducks, red and green, shown until
                              the first calibration preview is painted.
about1.bmp                    184 x 90, 256 colours: a pair of red/cyan glasses.
about2.bmp                    200 x 72, 256 colours: a red/cyan ribbon.

Run it again after changing the art; the output is deterministic.
"""
import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools", "artwork"))
import bmp  # noqa: E402
SIZE = 128
SHIFT = 21  # how much further right the right-eye duck stands


def write_bmp(name, width, height, bpp, palette, rows_top_down):
    bmp.write_bmp(os.path.join(HERE, name), width, height, bpp, palette, rows_top_down)


def inside_ellipse(x, y, cx, cy, rx, ry, angle=0.0):
    ca, sa = math.cos(angle), math.sin(angle)
    dx, dy = x - cx, y - cy
    u = (dx * ca + dy * sa) / rx
    v = (-dx * sa + dy * ca) / ry
    return u * u + v * v, u, v


def shade(u, v, d):
    """Grey level of a lit bulge: light from the upper left, 60 at the rim, 220 at best."""
    nz = math.sqrt(max(0.0, 1.0 - d))
    lx, ly, lz = -0.45, -0.55, 0.70
    norm = math.sqrt(lx * lx + ly * ly + lz * lz)
    lit = max(0.0, (u * lx + v * ly + nz * lz) / norm)
    return 60 + 160 * lit


def duck_pixel(x, y):
    """Grey level (0..220) of the left-eye duck at the pixel centre (x, y), top row 0."""
    px, py = x + 0.5, y + 0.5
    level = 0.0
    # Tail: a wedge pointing up and left from the back of the body.
    if 14 <= px <= 34 and abs(py - (76 - (34 - px) * 0.9)) < (34 - px) * 0.35 + 3:
        level = 110
    # Body.
    d, u, v = inside_ellipse(px, py, 50, 80, 31, 19, -0.12)
    if d <= 1:
        level = shade(u, v, d)
        # Folded wing: a darker ellipse on the body's upper half.
        dw, _, _ = inside_ellipse(px, py, 46, 76, 17, 9, -0.25)
        if dw <= 1:
            level = max(40.0, level - 50 * (1 - dw))
    # Neck and head.
    dn, un, vn = inside_ellipse(px, py, 70, 62, 8, 14, 0.3)
    if dn <= 1:
        level = shade(un, vn, dn)
    dh, uh, vh = inside_ellipse(px, py, 73, 46, 13, 12)
    if dh <= 1:
        level = shade(uh, vh, dh)
    # Beak: a flat ellipse in front of the head.
    db, _, _ = inside_ellipse(px, py, 90, 49, 9, 4, 0.08)
    if db <= 1 and px > 82:
        level = 205 - 40 * db
    # Eye.
    de, _, _ = inside_ellipse(px, py, 77, 43, 2.2, 2.2)
    if de <= 1:
        level = 20
    return int(min(220, round(level)))


def ducks():
    left = [[duck_pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    right = [[0] * SHIFT + row[:SIZE - SHIFT] for row in left]
    assert all(v == 0 for row in left for v in row[SIZE - SHIFT:]), "duck too wide to shift"
    return left, right


def grey_palette():
    return [(i, i, i) for i in range(256)]


def quantise_palette(rows):
    """Turns rows of (r, g, b) into a palette of at most 256 colours and index rows."""
    colours = sorted({c for row in rows for c in row})
    assert len(colours) <= 256, len(colours)
    index = {c: i for i, c in enumerate(colours)}
    return colours, [[index[c] for c in row] for row in rows]


def glasses():
    w, h = 184, 90
    rows = []
    for y in range(h):
        row = []
        for x in range(w):
            # Night-blue background, darker towards the bottom, in 32 steps.
            t = (y * 32) // h
            c = (8, 10 + t, 40 + 2 * t)
            for cx, lens in ((52, "red"), (132, "cyan")):
                d, u, v = inside_ellipse(x + 0.5, y + 0.5, cx, 48, 34, 24)
                if 1.0 <= d <= 1.35:
                    c = (200, 200, 205)  # frame
                elif d < 1.0:
                    k = int(8 * (1 - d) + 0.5) * 12  # 9 steps of brightness
                    c = (150 + k, 10, 20) if lens == "red" else (10, 120 + k, 140 + k)
            if 86 <= x <= 98 and 36 <= y <= 42:
                c = (200, 200, 205)  # bridge
            if (x < 20 and 36 <= y <= 40) or (x > 164 and 36 <= y <= 40):
                c = (200, 200, 205)  # temples
            row.append(c)
        rows.append(row)
    return w, h, rows


def ribbon():
    w, h = 200, 72
    rows = []
    for y in range(h):
        row = []
        for x in range(w):
            r = g = b = 12
            # The same wave twice, the red copy 4 pixels left of the cyan one.
            for offset, colour in ((-4, "red"), (4, "cyan")):
                d = abs(y - (36 + 20 * math.sin((x - offset) / w * 2 * math.pi * 1.5)))
                if d < 8:
                    k = int(8 - d) * 24  # 9 steps
                    if colour == "red":
                        r = max(r, 60 + k)
                    else:
                        g = max(g, 50 + k)
                        b = max(b, 60 + k)
            row.append((r, g, b))
        rows.append(row)
    return w, h, rows


def main():
    left, right = ducks()
    write_bmp("leftduck.bmp", SIZE, SIZE, 8, grey_palette(), left)
    write_bmp("rightduck.bmp", SIZE, SIZE, 8, grey_palette(), right)
    # 16 colours: four red levels for the left duck times four green levels for the right.
    palette = [(r * 85, g * 85, 0) for r in range(4) for g in range(4)]
    combined = [[(min(3, (l + 54) // 55)) * 4 + min(3, (rr + 54) // 55)
                 for l, rr in zip(lrow, rrow)] for lrow, rrow in zip(left, right)]
    write_bmp("ducktest.bmp", SIZE, SIZE, 4, palette, combined)
    for name, (w, h, rows) in (("about1.bmp", glasses()), ("about2.bmp", ribbon())):
        pal, idx = quantise_palette(rows)
        pal += [(0, 0, 0)] * (256 - len(pal))
        write_bmp(name, w, h, 8, pal, idx)


if __name__ == "__main__":
    main()
