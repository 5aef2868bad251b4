#!/usr/bin/env python3
"""Runs level_digest at every vector level (LOOM_ISA=scalar, base, avx2, avx512) and checks
that each level the processor runs gives the scalar level's bits in every suite.

  same_bits_test.py LEVEL_DIGEST

A level the processor lacks runs as its best one; the digest names the level it ran, and
such a run is reported and left out.
"""

import os
import subprocess
import sys

LEVELS = ["scalar", "base", "avx2", "avx512"]


def digests(program, level):
    env = dict(os.environ, LOOM_ISA=level)
    done = subprocess.run([program], env=env, capture_output=True, text=True, timeout=300)
    if done.returncode != 0:
        sys.exit(f"same_bits_test: {program} at {level} exited {done.returncode}:\n"
                 f"{done.stderr}")
    lines = [line.split() for line in done.stdout.splitlines() if line.strip()]
    if not lines or lines[0][0] != "level" or any(len(line) != 2 for line in lines):
        sys.exit(f"same_bits_test: unexpected output at {level}:\n{done.stdout}")
    return lines[0][1], dict(lines[1:])


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: same_bits_test.py LEVEL_DIGEST")
    program = sys.argv[1]
    ran, reference = digests(program, "scalar")
    if ran != "scalar":
        sys.exit(f"same_bits_test: LOOM_ISA=scalar ran at {ran}")
    if len(reference) < 8:
        sys.exit(f"same_bits_test: only {len(reference)} suites at scalar")
    compared, failed = 0, 0
    for level in LEVELS[1:]:
        ran, got = digests(program, level)
        if ran != level:
            print(f"{level}: not on this processor (ran {ran}); left out")
            continue
        compared += 1
        for suite, digest in reference.items():
            same = got.get(suite) == digest
            failed += not same
            print(f"{level} {suite}: {'same bits' if same else 'DIFFERENT'}"
                  f" ({got.get(suite)} against scalar {digest})")
    print(f"{compared} levels compared with scalar, {failed} suites differ")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
