# Anaglyphs from NumPy arrays are the pixels `loomhost anaglyph` writes for the same views.
import numpy as np
import pytest

import loomwork
from conftest import same_bits


def _views():
    left = loomwork.Texture("nimbra").render(24, 16)
    right = loomwork.Texture("voltrane").render(24, 16)
    return left, right


@pytest.mark.parametrize(
    "kind, ext",
    [("uint8", "png"), ("uint16", "png"), ("float32", "exr"), ("float32-rgb", "exr")],
)
def test_anaglyph_equals_the_command_line(cli, tmp_path, kind, ext):
    left, right = _views()
    if kind == "uint8":
        left, right = (np.round(v * 255).astype(np.uint8) for v in (left, right))
    elif kind == "uint16":
        left, right = (np.round(v * 65535).astype(np.uint16) for v in (left, right))
    elif kind == "float32-rgb":
        left, right = left[:, :, :3].copy(), right[:, :, :3].copy() * 1.5 - 0.2
    if ext == "exr":
        # The files hold half floats; the arrays get the same values.
        left, right = (v.astype(np.float16).astype(np.float32) for v in (left, right))
    for name, view in (("l", left), ("r", right)):
        loomwork.write_image(str(tmp_path / f"{name}.{ext}"), view)
    settings = dict(left_eye="green", right_eye="blue", left_comp=-0.3, right_comp=-0.05)
    cli.run("anaglyph", tmp_path / f"l.{ext}", tmp_path / f"r.{ext}", "--left-eye", "green",
            "--right-eye", "blue", "--left-comp", -0.3, "--right-comp", -0.05, "--bits", 16,
            "-o", tmp_path / "cli.png")
    got = loomwork.anaglyph(left, right, **settings)
    ref = loomwork.read_image(str(tmp_path / "cli.png"), dtype="uint16")
    assert got.dtype == np.uint16
    assert same_bits(got, ref[:, :, : got.shape[2]])
    # The defaults are the command line's too.
    cli.run("anaglyph", tmp_path / f"l.{ext}", tmp_path / f"r.{ext}", "--bits", 16, "-o", tmp_path / "d.png")
    ref = loomwork.read_image(str(tmp_path / "d.png"), dtype="uint16")
    assert same_bits(loomwork.anaglyph(left, right), ref[:, :, : got.shape[2]])


@pytest.mark.parametrize("method, glasses", [("dubois", "red-cyan"), ("half-colour", "amber-blue")])
def test_colour_methods_equal_the_command_line(cli, tmp_path, method, glasses):
    left, right = (np.round(v * 65535).astype(np.uint16) for v in _views())
    for name, view in (("l", left), ("r", right)):
        loomwork.write_image(str(tmp_path / f"{name}.png"), view)
    cli.run("anaglyph", tmp_path / "l.png", tmp_path / "r.png", "--method", method, "--glasses",
            glasses, "--bits", 16, "-o", tmp_path / "cli.png")
    got = loomwork.anaglyph(left, right, method=method, glasses=glasses)
    ref = loomwork.read_image(str(tmp_path / "cli.png"), dtype="uint16")
    assert same_bits(got, ref[:, :, : got.shape[2]])
    assert not same_bits(got, loomwork.anaglyph(left, right))


def test_anaglyph_refuses_what_the_command_line_refuses(cli, tmp_path):
    left, right = _views()
    with pytest.raises(ValueError, match="the views differ in size"):
        loomwork.anaglyph(left, right[:8])
    with pytest.raises(ValueError, match="dtype"):
        loomwork.anaglyph(left.astype(np.int64), right)
    with pytest.raises(ValueError, match="shape"):
        loomwork.anaglyph(left[:, :, None], right)
    huge = np.broadcast_to(np.zeros(4, np.uint8), (1 << 20, 1 << 20, 4))
    with pytest.raises(ValueError, match="is empty or more than"):
        loomwork.anaglyph(huge, huge)
    with pytest.raises(ValueError, match="grey method"):
        loomwork.anaglyph(left, right, method="dubois", left_eye="blue")
    with pytest.raises(ValueError, match="sepia"):
        loomwork.anaglyph(left, right, method="sepia")
    loomwork.write_image(str(tmp_path / "l.png"), left)
    for option, value, keyword in (("--left-comp", 0.5, "left_comp"), ("--left-eye", "pink", "left_eye")):
        message = cli.error("anaglyph", tmp_path / "l.png", tmp_path / "l.png", option, value, "-o", tmp_path / "o.png")
        with pytest.raises(ValueError) as info:
            loomwork.anaglyph(left, right, **{keyword: value})
        # The command line's words, with the keyword where it names its option.
        assert str(info.value) == message.replace(option, keyword)
