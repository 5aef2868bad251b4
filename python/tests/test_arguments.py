# What the module takes and how it refuses: path objects and array-likes wherever paths and
# pictures go, and errors in Python's words (keywords, not command-line options; the type an
# argument takes, not the binding library's list of overloads).
import pathlib
import re
import struct
import zlib

import numpy as np
import pytest

import loomwork
from conftest import same_bits

# Command-line options ("--set", "--left-comp") and the binding library's own explanations.
NOT_PYTHON = re.compile(r"--[a-z]|incompatible|Invoked with|PYBIND11|#include|loomwork\._loomwork")


def refusal(call):
    with pytest.raises(Exception) as info:
        call()
    message = str(info.value)
    assert not NOT_PYTHON.search(message), message
    return info.type, message


def test_errors_name_arguments_and_parameters_as_python_does():
    tex = loomwork.Texture("nimbra")
    grey = np.zeros((4, 4, 3), np.uint8)
    assert refusal(lambda: tex.set("U Scale", "big")) == (ValueError, "'U Scale': 'big' is not a number")
    assert refusal(lambda: tex.key("U Scale", 3, "big")) == (ValueError, "'U Scale': 'big' is not a number")
    assert refusal(lambda: tex.__setitem__("Sky", (1, 2)))[1].startswith("'Sky': ")
    assert refusal(lambda: loomwork.anaglyph(grey, grey, right_comp=0.5)) == (
        ValueError, "right_comp 0.5 is outside -0.5..0")
    for keyword, value in (("method", "sepia"), ("glasses", "purple"), ("parallax", "far"),
                           ("crop", "wide"), ("align", "maybe"), ("matrix", "1,2")):
        args = {keyword: value}
        if keyword == "glasses":
            args["method"] = "colour"
        kind, message = refusal(lambda: loomwork.anaglyph(grey, grey, **args))
        assert kind is ValueError and message.startswith(keyword), message


def test_wrong_types_are_refused_in_plain_words():
    tex = loomwork.Texture("nimbra")
    cases = [
        (lambda: tex.render("wide", 8), "Texture.render(): width must be an int, not str"),
        (lambda: tex.render(8, 8, threads=1.5), "Texture.render(): threads must be an int or None, not float"),
        (lambda: tex.set(3, 3), "Texture.set(): name must be a str, not int"),
        (lambda: loomwork.Texture(3), "Texture(): class_name must be a str, not int"),
        (lambda: loomwork.Texture("nimbra", time="noon"), "Texture(): time must be a number, not str"),
        (lambda: tex.render(8), "Texture.render() is missing the argument 'height'"),
        (lambda: tex.sample("a", 1), "sample(): u and v must be numbers or arrays of numbers"),
        (lambda: loomwork.write_image("x.png", "pixels"), "x.png: expected an array, not str"),
        (lambda: setattr(tex, "seed", "x"), "Texture.seed must be an int, not str"),
    ]
    for call, expected in cases:
        assert refusal(call) == (TypeError, expected)
    # A TypeError the function raises itself is left as it is.
    assert refusal(lambda: tex.set("Sky", 4))[0] is TypeError


def test_paths_may_be_path_objects(tmp_path):
    tex = loomwork.Texture("nimbra", U_Scale=3)
    image = tex.render(12, 8, threads=1)
    loomwork.write_image(tmp_path / "a.png", image)
    assert same_bits(loomwork.read_image(tmp_path / "a.png"), loomwork.read_image(str(tmp_path / "a.png")))
    loomwork.save_scene(tmp_path / "s.loom", tex)
    assert loomwork.load_scene(pathlib.PurePath(tmp_path / "s.loom"))["nimbra"]["U Scale"] == 3
    assert loomwork.load_plugins([pathlib.Path(p) for p in loomwork.plugin_folders()]) == []
    with pytest.raises(TypeError, match="list of folders"):
        loomwork.load_plugins(tmp_path)


def test_pictures_may_be_any_array_like(tmp_path):
    values = [[[0.0, 0.5, 1.0], [0.25, 0.75, 0.125]]]
    loomwork.write_image(tmp_path / "list.png", values)
    loomwork.write_image(tmp_path / "f32.png", np.array(values, np.float32))
    assert (tmp_path / "list.png").read_bytes() == (tmp_path / "f32.png").read_bytes()
    with pytest.raises(ValueError, match="int64 values; give uint8, uint16 or floats"):
        loomwork.write_image(tmp_path / "i.png", [[1, 2]])
    # float64 views compose as the float32 they hold.
    rng = np.random.default_rng(3)
    left, right = rng.random((2, 6, 5, 3))
    assert same_bits(loomwork.anaglyph(left, right),
                     loomwork.anaglyph(left.astype(np.float32), right.astype(np.float32)))
    assert same_bits(loomwork.anaglyph(left.tolist(), right), loomwork.anaglyph(left, right))


def png(path, lines, width, height, depth, colour_type, *extra):
    """A PNG written by hand from its filtered lines' bytes (the module writes RGB and RGBA
    only): `extra` chunks (kind, data) go before the pixels."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    header = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0)
    body = b"".join(chunk(kind, data) for kind, data in extra)
    path.write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + body
                     + chunk(b"IDAT", zlib.compress(lines)) + chunk(b"IEND", b""))


def grey16_png(path, grey):
    png(path, b"".join(b"\0" + row.astype(">u2").tobytes() for row in grey), grey.shape[1], grey.shape[0], 16, 0)


def test_read_image_keeps_the_files_type_and_channels(tmp_path):
    rng = np.random.default_rng(5)
    rgba8 = rng.integers(0, 256, (5, 7, 4), dtype=np.uint8)
    grey16 = rng.integers(0, 65536, (5, 7), dtype=np.uint16)
    loomwork.write_image(tmp_path / "rgba8.png", rgba8)
    grey16_png(tmp_path / "grey16.png", grey16)
    loomwork.write_image(tmp_path / "rgb.exr", rng.random((5, 7, 3)).astype(np.float32))

    assert same_bits(loomwork.read_image(tmp_path / "rgba8.png", native=True), rgba8)
    assert same_bits(loomwork.read_image(tmp_path / "rgba8.png", dtype="uint8"), rgba8)
    assert same_bits(loomwork.read_image(tmp_path / "rgba8.png", channels=3, dtype="uint8"), rgba8[:, :, :3])
    assert same_bits(loomwork.read_image(tmp_path / "grey16.png", native=True), grey16)
    expanded = loomwork.read_image(tmp_path / "grey16.png", dtype="uint16", channels=4)
    assert same_bits(expanded[:, :, 2], grey16) and (expanded[:, :, 3] == 65535).all()
    # The default reads stay as they were: float32 RGBA, and uint16 RGBA.
    assert same_bits(loomwork.read_image(tmp_path / "grey16.png", channels=4),
                     loomwork.read_image(tmp_path / "grey16.png"))
    assert same_bits(loomwork.read_image(tmp_path / "rgba8.png", dtype="uint16", channels=4),
                     loomwork.read_image(tmp_path / "rgba8.png", dtype="uint16"))
    assert same_bits(loomwork.read_image(tmp_path / "rgb.exr", native=True),
                     loomwork.read_image(tmp_path / "rgb.exr"))
    assert loomwork.read_image(tmp_path / "rgb.exr", native=True, dtype="uint8").dtype == np.uint8
    with pytest.raises(ValueError, match="holds colour"):
        loomwork.read_image(tmp_path / "rgb.exr", channels=1)
    with pytest.raises(ValueError, match="channels must be"):
        loomwork.read_image(tmp_path / "rgb.exr", channels=5)


def test_png_kinds_read_at_their_own_depth_as_the_image_library_reads_them(tmp_path):
    """The direct PNG path (uint8, uint16, native) against the image library's float32 reads
    of the same files, scaled back: palettes, transparency, grey of 2 bits, 16 bits."""
    rng = np.random.default_rng(11)
    w, h = 9, 5
    palette = rng.integers(0, 256, (4, 3), dtype=np.uint8)
    index = rng.integers(0, 4, (h, w), dtype=np.uint8)
    files = {
        "palette": (index, 8, 3, (b"PLTE", palette.tobytes())),
        "palette_alpha": (index, 8, 3, (b"PLTE", palette.tobytes()), (b"tRNS", bytes([0, 128, 255]))),
        "grey2": (rng.integers(0, 4, (h, w), dtype=np.uint8), 2, 0),
        "grey_alpha16": (rng.integers(0, 65536, (h, w * 2), dtype=np.uint16), 16, 4),
        "rgb16": (rng.integers(0, 65536, (h, w * 3), dtype=np.uint16), 16, 2),
        "rgba8": (rng.integers(0, 256, (h, w * 4), dtype=np.uint8), 8, 6),
    }
    for name, (values, depth, colour_type, *extra) in files.items():
        if depth == 2:
            lines = b"".join(b"\0" + np.packbits(np.unpackbits(row[:, None], axis=1)[:, 6:].ravel()).tobytes()
                             for row in values)
        else:
            lines = b"".join(b"\0" + row.astype(">u2" if depth == 16 else "u1").tobytes() for row in values)
        png(tmp_path / f"{name}.png", lines, w, h, depth, colour_type, *extra)
        native = loomwork.read_image(tmp_path / f"{name}.png", native=True)
        reference = loomwork.read_image(tmp_path / f"{name}.png", native=True, dtype="float32")
        top = np.iinfo(native.dtype).max
        assert np.array_equal(native, np.rint(reference.astype(np.float64) * top).astype(native.dtype)), name
    assert loomwork.read_image(tmp_path / "palette_alpha.png", native=True).shape == (h, w, 4)
    assert loomwork.read_image(tmp_path / "grey2.png", native=True).max() == 255
    # Cut short: refused, naming the file.
    whole = (tmp_path / "rgb16.png").read_bytes()
    (tmp_path / "cut.png").write_bytes(whole[: len(whole) // 2])
    with pytest.raises(OSError, match="cut.png: cannot read image"):
        loomwork.read_image(tmp_path / "cut.png", native=True)
