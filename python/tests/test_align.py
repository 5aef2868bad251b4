# Alignment, parallax and crop from Python: the correction found for a known vertical
# shift, the aligned views, and anaglyph()'s align=, matrix= and linear= against the
# command line's results.
import numpy as np
import pytest

import loomwork
from conftest import same_bits


def _textured(h=240, w=320, seed=3):
    """Overlapping rectangles of random greys and colours: corners for the features."""
    rng = np.random.default_rng(seed)
    img = np.full((h, w, 3), 0.5, np.float32)
    for _ in range(220):
        y, x = rng.integers(0, h), rng.integers(0, w)
        dy, dx = rng.integers(3, 30, size=2)
        img[y : y + dy, x : x + dx] = rng.random(3)
    return np.round(img * 255).astype(np.uint8)


def test_align_finds_a_vertical_shift_and_lines_up_the_rows():
    left = _textured()
    right = np.zeros_like(left)
    right[6:] = left[:-6]  # the right view's content 6 px lower
    info, l, r = loomwork.align(left, right)
    assert info["aligned"]
    assert info["dy_px"] == pytest.approx(6, abs=0.1)
    assert info["rotation_deg"] == pytest.approx(0, abs=0.02)
    assert info["scale"] == pytest.approx(1, abs=1e-3)
    assert info["residual_median_px"] <= 0.25
    x, y, w, h = info["crop"]
    assert y == 0 and abs(h - (240 - 6)) <= 1 and w >= 318
    assert l.shape == r.shape == (h, w, 3) and l.dtype == np.uint16
    # Resampled by a shift within a hair of 6 rows, the views agree.
    assert np.abs(l.astype(np.int32) - r.astype(np.int32)).mean() < 2 * 257
    # Measured only, the views stay as they were.
    info, l2, r2 = loomwork.align(left, right, apply="report")
    assert not info["aligned"] and l2.shape == (240, 320, 3)
    with pytest.raises(ValueError, match="matches"):
        flat = np.full((100, 100, 3), 128, np.uint8)
        loomwork.align(flat, flat)
    info, _, _ = loomwork.align(np.full((100, 100, 3), 9, np.uint8),
                                np.full((100, 100, 3), 9, np.uint8), apply="try")
    assert info["warnings"]


def test_anaglyph_options_match_the_command_line(cli, tmp_path):
    left = _textured(seed=5)
    right = np.zeros_like(left)
    right[:, :-4] = left[:, 4:]  # nearer: the right view's content 4 px to the left
    for name, view in (("l", left), ("r", right)):
        loomwork.write_image(str(tmp_path / f"{name}.png"), view)
    cli.run("anaglyph", tmp_path / "l.png", tmp_path / "r.png", "--parallax", "auto",
            "--method", "dubois", "--linear", "--bits", "16", "-o", tmp_path / "cli.png")
    got = loomwork.anaglyph(left, right, method="dubois", parallax="auto", linear=True)
    ref = loomwork.read_image(str(tmp_path / "cli.png"), dtype="uint16")
    assert abs(got.shape[1] - (320 - 4)) <= 1  # a measured parallax of 4.1 px crops 4 or 5
    assert same_bits(got, ref[:, :, : got.shape[2]])
    colour = [1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1]
    assert np.array_equal(loomwork.anaglyph(left, right, matrix=colour),
                          loomwork.anaglyph(left, right, method="colour"))
    with pytest.raises(ValueError, match="18 numbers"):
        loomwork.anaglyph(left, right, matrix=[1, 2, 3])
    with pytest.raises(ValueError, match="linear"):
        loomwork.anaglyph(left, right, linear=True)
