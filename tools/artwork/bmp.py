"""Writes the uncompressed Windows bitmaps the panels' artwork scripts draw.

A script beside a plug-in's resources imports it with

    sys.path.insert(0, os.path.join(HERE, "..", "..", "tools", "artwork"))
    from bmp import write_bmp, write_separator

Rows are given top down. At 4 and 8 bits per pixel they hold palette indices; at 24 bits
they hold (r, g, b) tuples and the palette is empty. The bytes written depend on nothing
but the arguments, so running a script again reproduces its files exactly.
"""
import struct

# Pixels per metre written into the header (72 dots per inch).
_PIXELS_PER_METRE = 2835


def encode_bmp(width, height, bpp, palette, rows_top_down):
    """The whole .bmp file: file header, BITMAPINFOHEADER, palette and bottom-up rows."""
    if bpp not in (4, 8, 24):
        raise ValueError(f"unsupported depth {bpp} bits per pixel")
    if len(rows_top_down) != height or any(len(row) != width for row in rows_top_down):
        raise ValueError(f"rows do not make a {width} x {height} picture")
    if len(palette) > (1 << bpp if bpp < 24 else 0):
        raise ValueError(f"{len(palette)} palette entries for {bpp} bits per pixel")
    stride = (width * bpp + 31) // 32 * 4
    data = bytearray()
    for row in reversed(rows_top_down):
        if bpp == 24:
            packed = b"".join(struct.pack("<BBB", b, g, r) for (r, g, b) in row)
        elif bpp == 8:
            packed = bytes(row)
        else:
            padded = list(row) + [0] * (len(row) % 2)
            packed = bytes((padded[i] << 4) | padded[i + 1] for i in range(0, len(padded), 2))
        data += packed + b"\0" * (stride - len(packed))
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    offset = 14 + 40 + len(pal)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, 0, len(data),
                       _PIXELS_PER_METRE, _PIXELS_PER_METRE, len(palette), 0)
    return header + info + pal + bytes(data)


def write_bmp(path, width, height, bpp, palette, rows_top_down):
    """Writes encode_bmp(...) to `path`, replacing what was there."""
    data = encode_bmp(width, height, bpp, palette, rows_top_down)
    with open(path, "wb") as f:
        f.write(data)


def write_separator(path):
    """The thin bevelled rule between a panel's groups: 338 x 4, 16 colours."""
    width, height = 338, 4
    palette = [(0, 0, 0), (128, 128, 128), (192, 192, 192), (255, 255, 255)] + [(0, 0, 0)] * 12
    rows = [[1] * width, [3] * width, [2] * width, [1] * width]
    write_bmp(path, width, height, 4, palette, rows)
