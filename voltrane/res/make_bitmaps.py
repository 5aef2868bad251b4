#!/usr/bin/env python3
"""Draws the Voltrane panel's pictures and writes them as .bmp files beside this script.

banner.bmp                311 x 60, 256 colours: a violet arc sweeping over dark blue, the name.
horizontal.bmp ... goo.bmp 53 x 53, 256 colours: one icon per shape type (body, edge band,
                          background as the texture draws them).
opacity.bmp               41 x 47, 16 colours: the letters R, G and B in their colours.
apply_out.bmp             270 x 30, 24-bit: "APPLY WAVEFORMS..." in dark blue capitals.
apply_in.bmp              270 x 30, 24-bit: the same lettering in a lighter blue.
separator.bmp             338 x 4, 16 colours: a thin bevelled rule.
wave1.bmp / wave2.bmp     100 x 30, 16 colours: the headings "WAVE 1" and "WAVE 2" with a sine.

Run it again after changing the art; the output is deterministic.
"""
import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools", "artwork"))
from bmp import write_bmp, write_separator  # noqa: E402

# A 5 x 7 capital font, enough for the headings and the button caption.
FONT = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    "G": ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "W": ["10001", "10001", "10001", "10101", "10101", "10101", "01010"],
    "Y": ["10001", "10001", "01010", "00100", "00100", "00100", "00100"],
    "1": ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    "2": ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
    ".": ["00000", "00000", "00000", "00000", "00000", "01100", "01100"],
    " ": ["00000"] * 7,
}


def text_mask(text, scale):
    """Pixels (x, y) covered by `text` drawn at `scale`, with its width and height."""
    pixels = set()
    x0 = 0
    for ch in text:
        glyph = FONT[ch]
        for gy, line in enumerate(glyph):
            for gx, bit in enumerate(line):
                if bit == "1":
                    for dy in range(scale):
                        for dx in range(scale):
                            pixels.add((x0 + gx * scale + dx, gy * scale + dy))
        x0 += 6 * scale
    return pixels, x0 - scale, 7 * scale


def ramp_palette(dark, light):
    return [tuple(int(d + (l - d) * i / 255.0) for d, l in zip(dark, light)) for i in range(256)]


def banner():
    width, height = 311, 60
    palette = ramp_palette((10, 10, 50), (235, 220, 255))
    letters, tw, th = text_mask("VOLTRANE", 3)
    tx, ty = width - tw - 14, (height - th) // 2
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            # A bright arc around a point below the left edge, fading with distance.
            d = math.hypot(x + 40, y - 90) - 120
            v = 0.12 + 0.3 * y / height + 0.8 * math.exp(-d * d / 30.0)
            if (x - tx, y - ty) in letters:
                v = 1.0
            row.append(max(0, min(255, int(v * 255))))
        rows.append(row)
    write_bmp(os.path.join(HERE, "banner.bmp"), width, height, 8, palette, rows)


def shape_icon(name, inside):
    """An icon: body (violet) where inside(u, v) < 0, a bright edge band, background."""
    size = 53
    palette = [(20, 20, 40), (120, 60, 200), (250, 240, 130), (0, 0, 0)] + [(0, 0, 0)] * 252
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            if x in (0, size - 1) or y in (0, size - 1):
                row.append(3)
                continue
            d = inside((x + 0.5) / size, (y + 0.5) / size)
            row.append(1 if d < -0.035 else 2 if d < 0.035 else 0)
        rows.append(row)
    write_bmp(os.path.join(HERE, name), size, size, 8, palette, rows)


def noisy(u, v):
    return 0.5 * math.sin(u * 37.0 + v * 11.0) * math.cos(v * 29.0 - u * 7.0)


def shape_icons():
    shape_icon("horizontal.bmp", lambda u, v: u - 0.5)
    shape_icon("vertical.bmp", lambda u, v: v - 0.5)
    shape_icon("diagonal.bmp", lambda u, v: (u + v) / 2 - 0.5)
    shape_icon("static.bmp", lambda u, v: noisy(u, v))
    shape_icon("radial.bmp", lambda u, v: math.hypot(u - 0.5, v - 0.5) - 0.3)
    shape_icon("expand.bmp", lambda u, v: 0.3 - math.hypot(u - 0.5, v - 0.5))
    shape_icon("encase.bmp", lambda u, v: max(abs(u - 0.5), abs(v - 0.5)) - 0.3)
    shape_icon("cubic.bmp", lambda u, v: abs(u - 0.5) + abs(v - 0.5) - 0.35)
    shape_icon("goo.bmp", lambda u, v: math.hypot(u - 0.5, v - 0.5) - 0.28 - 0.08 * math.sin(
        7.0 * math.atan2(v - 0.5, u - 0.5)))


def opacity():
    width, height = 41, 47
    palette = [(192, 192, 192), (200, 0, 0), (0, 150, 0), (0, 0, 210)] + [(0, 0, 0)] * 12
    rows = [[0] * width for _ in range(height)]
    for i, ch in enumerate("RGB"):
        pixels, _, _ = text_mask(ch, 2)
        for (x, y) in pixels:
            rows[2 + i * 15 + y][15 + x] = i + 1
    write_bmp(os.path.join(HERE, "opacity.bmp"), width, height, 4, palette, rows)


def apply_button(name, ink):
    width, height = 270, 30
    face = (212, 208, 200)
    letters, tw, th = text_mask("APPLY WAVEFORMS...", 2)
    tx, ty = (width - tw) // 2, (height - th) // 2
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            if (x - tx, y - ty) in letters:
                row.append(ink)
            elif y == 0 or x == 0:
                row.append((255, 255, 255))
            elif y == height - 1 or x == width - 1:
                row.append((128, 128, 128))
            else:
                row.append(face)
        rows.append(row)
    write_bmp(os.path.join(HERE, name), width, height, 24, [], rows)


def wave_heading(name, text, phase):
    width, height = 100, 30
    palette = [(192, 192, 192), (20, 20, 110), (120, 60, 200)] + [(0, 0, 0)] * 13
    rows = [[0] * width for _ in range(height)]
    letters, _, _ = text_mask(text, 2)
    for (x, y) in letters:
        rows[3 + y][4 + x] = 1
    for x in range(76, 98):
        y = int(round(15 + 9 * math.sin((x - 76) / 21.0 * 2 * math.pi + phase)))
        rows[y][x] = 2
    write_bmp(os.path.join(HERE, name), width, height, 4, palette, rows)


if __name__ == "__main__":
    banner()
    shape_icons()
    opacity()
    apply_button("apply_out.bmp", (10, 20, 110))
    apply_button("apply_in.bmp", (90, 140, 235))
    write_separator(os.path.join(HERE, "separator.bmp"))
    wave_heading("wave1.bmp", "WAVE 1", 0.0)
    wave_heading("wave2.bmp", "WAVE 2", math.pi / 2)
