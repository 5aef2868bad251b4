#!/usr/bin/env python3
"""Render time from Python against the command line, for the same texture and size.

    PYTHONPATH=build/python python3 bench/python_render.py [--size 1024x1024] [--runs 5]

Times, best of --runs: `loomhost render` as a whole process (loading the plug-ins, rendering,
writing an EXR); the same work from Python in a fresh interpreter (import, make the texture,
render, write the EXR), less the interpreter's start and the imports (timed alone). Then the
render and the write alone: for the command line, its time less that of a 1x1 render (the
process's fixed costs); for Python, tex.render() and write_image() in this process. Last the
render alone, without the file: the command line's own `--stats` figure (render_seconds) and
tex.render() in this process, taken in turn run by run so that a change of load meets both.
"ratio" columns are Python over the command line. Not part of the test suite: the figures
depend on the machine and its load (printed with them).
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def best(fn, runs):
    times = []
    for _ in range(runs):
        t0 = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t0)
    return min(times)


def cli_render_seconds(cmd):
    """The command line's own time of the render alone (its --stats line)."""
    r = subprocess.run(cmd + ["--stats"], check=True, capture_output=True, text=True)
    for line in (r.stdout + r.stderr).splitlines():
        if line.startswith("stats:"):
            fields = dict(f.split("=", 1) for f in line.split()[1:])
            return float(fields["render_seconds"])
    raise RuntimeError(f"no stats line from {' '.join(cmd)}")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--size", default="1024x1024")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--threads", type=int, default=0, help="0: one per core")
    ap.add_argument("--loomhost", default=os.path.join(HERE, "..", "build", "bin", "loomhost"))
    ap.add_argument("classes", nargs="*", help="default: every texture class loomwork finds")
    args = ap.parse_args()
    width, height = (int(x) for x in args.size.split("x"))
    threads = args.threads or None

    import loomwork

    classes = args.classes or [c.short_name for c in loomwork.classes() if c.kind == "texture"]
    out = tempfile.mkdtemp(prefix="loomwork_bench_")
    startup = best(lambda: subprocess.run([sys.executable, "-c", "import loomwork"],
                                          check=True), args.runs)
    print(f"interpreter start and imports: {startup:.3f} s")
    print(f"load average before: {os.getloadavg()[0]:.2f}")
    print(f"{'class':10} {'loomhost':>10} {'python':>10} {'ratio':>7}   "
          f"{'cli render':>10} {'py render':>10} {'ratio':>7}   "
          f"{'cli alone':>10} {'py alone':>10} {'ratio':>7}")
    for cls in classes:
        exr = os.path.join(out, f"{cls}.exr")
        cli = [args.loomhost, "render", cls, "--size", args.size, "--threads", str(args.threads), "-o", exr]
        t_cli = best(lambda: subprocess.run(cli, check=True, capture_output=True), args.runs)
        script = (f"import loomwork; t = loomwork.Texture({cls!r}); "
                  f"loomwork.write_image({exr!r}, t.render({width}, {height}, threads={threads!r}))")
        t_py = best(lambda: subprocess.run([sys.executable, "-c", script], check=True), args.runs) - startup
        tiny = cli[:3] + ["--size", "1x1"] + cli[5:]
        t_cli_fixed = best(lambda: subprocess.run(tiny, check=True, capture_output=True), args.runs)
        tex = loomwork.Texture(cls)
        t_render = best(lambda: loomwork.write_image(exr, tex.render(width, height, threads=threads)),
                        args.runs)
        t_cli_render = t_cli - t_cli_fixed
        alone_cli, alone_py = [], []
        for _ in range(args.runs):
            alone_cli.append(cli_render_seconds(cli))
            t0 = time.perf_counter()
            tex.render(width, height, threads=threads)
            alone_py.append(time.perf_counter() - t0)
        a_cli, a_py = min(alone_cli), min(alone_py)
        print(f"{cls:10} {t_cli:10.3f} {t_py:10.3f} {t_py / t_cli:7.3f}   "
              f"{t_cli_render:10.3f} {t_render:10.3f} {t_render / t_cli_render:7.3f}   "
              f"{a_cli:10.3f} {a_py:10.3f} {a_py / a_cli:7.3f}")
    print(f"load average after: {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
