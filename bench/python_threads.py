#!/usr/bin/env python3
"""Two textures rendered from two Python threads against one after the other.

    PYTHONPATH=build/python python3 bench/python_threads.py [--size 1024] [--runs 5]
                                                           [--classes nimbra,voltrane]

Each render uses one render thread (threads=1), so that the two Python threads are the only
parallelism: on a machine with two free cores the pair in threads takes about half the time
of the pair in sequence. Best of --runs, the two ways taken in turn run by run so that a
change of load meets both; the renders of the two ways are checked to be the same bits. Not
part of the test suite: the figures depend on the machine and its load (printed with them).
"""

import argparse
import threading
import time

import loomwork
from bench_machine import machine_line


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--size", type=int, default=1024)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--classes", default="nimbra,nimbra")
    args = ap.parse_args()
    textures = [loomwork.Texture(c) for c in args.classes.split(",")]
    size = args.size

    def render(tex, out, i):
        out[i] = tex.render(size, size, threads=1)

    for tex in textures:
        tex.render(8, 8, threads=1)  # tables built before timing
    sequence_best = threads_best = float("inf")
    for _ in range(args.runs):
        seq = [None] * len(textures)
        t0 = time.perf_counter()
        for i, tex in enumerate(textures):
            render(tex, seq, i)
        sequence_best = min(sequence_best, time.perf_counter() - t0)

        par = [None] * len(textures)
        workers = [threading.Thread(target=render, args=(tex, par, i)) for i, tex in enumerate(textures)]
        t0 = time.perf_counter()
        for w in workers:
            w.start()
        for w in workers:
            w.join()
        threads_best = min(threads_best, time.perf_counter() - t0)
        assert all(a.tobytes() == b.tobytes() for a, b in zip(seq, par)), "threads changed the bits"
    print(f"{len(textures)} renders {size}x{size} ({args.classes}), threads=1 each, best of {args.runs}; "
          f"{machine_line()}")
    print(f"  one after the other  {sequence_best:7.3f} s")
    print(f"  in {len(textures)} Python threads  {threads_best:7.3f} s  "
          f"({threads_best / sequence_best:.2f} of the time)")


if __name__ == "__main__":
    main()
