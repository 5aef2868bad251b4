# Renders and samples from Python are the command line's, bit for bit.
import threading
import time

import numpy as np
import pytest

import loomwork
from conftest import same_as_exr, same_bits



@pytest.mark.parametrize("cls, name", [("nimbra", "U Scale"), ("voltrane", "Shear"),
                                       ("fervix", "U Scale"), ("lumidot", "Horizontal Phase")])
def test_render_equals_the_command_line(cli, tmp_path, cls, name):
    tex = loomwork.Texture(cls)
    tex.key(name, 0, 2)
    tex.key(name, 10, 5)
    args = ["--key", f"{name}@0=2", "--key", f"{name}@10=5", "--size", "37x21", "--time", 4]
    for output in ("color", "mono", "normal"):
        cli.run("render", cls, *args, "--output", output, "-o", tmp_path / f"{output}.exr")
        got = tex.render(37, 21, time=4, output=output, threads=3)
        assert got.dtype == np.float32
        assert got.shape == {"color": (21, 37, 4), "mono": (21, 37), "normal": (21, 37, 3)}[output]
        assert same_as_exr(got, tmp_path / f"{output}.exr"), output
    # Written through the same writer, the files hold the same pixels (EXR) and bytes (PNG).
    color = tex.render(37, 21, time=4)
    loomwork.write_image(str(tmp_path / "py.exr"), color)
    assert same_bits(loomwork.read_image(str(tmp_path / "py.exr")), loomwork.read_image(str(tmp_path / "color.exr")))
    cli.run("render", cls, *args, "--bits", 16, "-o", tmp_path / "cli.png")
    loomwork.write_image(str(tmp_path / "py.png"), color, bits=16)
    assert (tmp_path / "py.png").read_bytes() == (tmp_path / "cli.png").read_bytes()


def test_sample_equals_eval(cli):
    rng = np.random.default_rng(7)
    u = rng.uniform(-2, 3, 12)
    v = rng.uniform(-2, 3, 12)
    points = [f"{a!r},{b!r}" for a, b in zip(u, v)]
    for cls in ("nimbra", "fervix"):
        tex = loomwork.Texture(cls)
        assert same_bits(tex.sample(u, v, time=3), cli.eval(cls, "--time", 3, *points))
        assert same_bits(tex.sample(u, v, output="mono"), cli.eval(cls, "--mono", *points)[:, 0])
        assert same_bits(tex.sample(u, v, output="normal"), cli.eval(cls, "--normal", *points))
    # Broadcasting: a row of u against a column of v.
    grid = tex.sample(np.array([0.1, 0.2, 0.3]), np.array([[0.5], [0.6]]))
    assert grid.shape == (2, 3, 4)
    assert same_bits(grid[1, 2], tex.sample(0.3, 0.6))


def test_render_lets_other_python_threads_run():
    tex = loomwork.Texture("nimbra")
    started = threading.Event()
    result = {}

    def render():
        started.set()
        t0 = time.perf_counter()
        # Large enough to take a good fraction of a second on a fast core, so the spin
        # count below measures the render and not the thread's start.
        result["image"] = tex.render(2048, 2048, threads=1)
        result["seconds"] = time.perf_counter() - t0

    worker = threading.Thread(target=render)
    worker.start()
    started.wait()
    spins = 0
    while worker.is_alive():
        spins += 1
    worker.join()
    assert result["image"].shape == (2048, 2048, 4)
    # With the interpreter lock held for the whole render, this thread would have waited
    # for it instead of spinning.
    assert result["seconds"] > 0.05
    assert spins > 10000, (spins, result["seconds"])


def test_bad_renders_are_refused_with_the_reason():
    tex = loomwork.Texture("nimbra")
    with pytest.raises(ValueError, match="width and height must be 1..32768"):
        tex.render(0, 4)
    with pytest.raises(ValueError, match="use color, mono or normal"):
        tex.render(4, 4, output="depth")
    with pytest.raises(ValueError, match="threads"):
        tex.render(4, 4, threads=0)
    with pytest.raises(ValueError, match="out of range"):
        tex.render(4, 4, time=1e300)
