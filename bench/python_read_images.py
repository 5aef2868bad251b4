#!/usr/bin/env python3
"""Reading PNG files into NumPy arrays: loomwork.read_image against Pillow with NumPy.

    PYTHONPATH=build/python python3 bench/python_read_images.py [--count 40] [--size 640x480]
                                                               [--runs 7]

Writes --count rendered RGB PNGs of --size, then times reading them all, best of --runs,
taking the two readers in turn run by run so that a change of load meets both:
read_image(native=True) (uint8, the file's channels, as Pillow gives them),
read_image(dtype="uint8") (RGBA), read_image() (float32 RGBA, the default) and
numpy.asarray(PIL.Image.open(f)). Not part of the test suite: the figures depend on the
machine and its load (printed with them).
"""

import argparse
import os
import tempfile
import time

import numpy as np

import loomwork
from bench_machine import machine_line


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--count", type=int, default=40)
    ap.add_argument("--size", default="640x480")
    ap.add_argument("--runs", type=int, default=7)
    args = ap.parse_args()
    width, height = map(int, args.size.split("x"))
    try:
        from PIL import Image
    except ImportError:
        Image = None
    with tempfile.TemporaryDirectory() as folder:
        tex = loomwork.Texture("nimbra")
        files = []
        for i in range(args.count):
            path = os.path.join(folder, f"f{i:03d}.png")
            rgb = tex.render(width, height, time=i)[:, :, :3]
            loomwork.write_image(path, np.rint(np.clip(rgb, 0, 1) * 255).astype(np.uint8))
            files.append(path)
        readers = {
            "read_image(native=True)": lambda f: loomwork.read_image(f, native=True),
            "read_image(dtype='uint8')": lambda f: loomwork.read_image(f, dtype="uint8"),
            "read_image() float32": lambda f: loomwork.read_image(f),
        }
        if Image is not None:
            readers["Pillow + numpy.asarray"] = lambda f: np.asarray(Image.open(f))
        for read in readers.values():
            read(files[0])  # libraries loaded before timing
        best = {name: float("inf") for name in readers}
        for _ in range(args.runs):
            for name, read in readers.items():
                t0 = time.perf_counter()
                for f in files:
                    read(f)
                best[name] = min(best[name], time.perf_counter() - t0)
    print(f"{args.count} PNGs of {width}x{height} (RGB, 8-bit), best of {args.runs}, {machine_line()}")
    for name, seconds in best.items():
        print(f"  {name:28s} {seconds:7.3f} s  {1000 * seconds / args.count:6.2f} ms a file")
    if Image is None:
        print("  (Pillow is not installed: python3-pil)")


if __name__ == "__main__":
    main()
