# Scene files shared with the command line, and errors as Python exceptions carrying the
# command line's messages.
import numpy as np
import pytest

import loomwork
from conftest import same_as_exr, same_bits


def test_scenes_saved_from_python_render_in_the_command_line(cli, tmp_path):
    tex = loomwork.Texture("nimbra", **{"U Scale": 3})
    tex["Sky"] = loomwork.Texture("fervix", V_Scale=2)
    tex.key("V Shift", 15, 0.5)
    path = tmp_path / "s.loom"
    loomwork.save_scene(str(path), {"clouds": tex, "plain": loomwork.Texture("lumidot")})
    cli.run("render", "--scene", path, "--entry", "clouds", "--size", "9x7", "--time", 8, "-o", tmp_path / "c.exr")
    assert same_as_exr(tex.render(9, 7, time=8), tmp_path / "c.exr")

    loaded = loomwork.load_scene(str(path))
    assert list(loaded) == ["clouds", "plain"]
    assert loaded["clouds"].label == "clouds"
    assert loaded["clouds"]["U Scale"] == 3.0
    assert loaded["clouds"].map("Sky")["V Scale"] == 2.0
    assert same_bits(loaded["clouds"].render(9, 7, time=8), tex.render(9, 7, time=8))


def test_scenes_made_by_the_command_line_load(cli, tmp_path):
    path = tmp_path / "n.loom"
    cli.run("scene", "new", path, "nimbra", "--set", "Sky=map:voltrane", "--set", "Contrast=2")
    (tex,) = loomwork.load_scene(str(path)).values()
    assert tex["Contrast"] == 2.0
    assert tex.map("Sky").class_name.endswith("Voltrane 2.7")


def test_errors_are_python_exceptions_with_the_command_lines_message(cli, tmp_path):
    tex = loomwork.Texture("nimbra")
    for name, value, cli_value in (("U Scale", "x", "x"), ("Positive", 1.5, "1.5"), ("Sky", (1, 2), "1,2")):
        message = cli.error("eval", "nimbra", "--set", f"{name}={cli_value}", "0,0")
        with pytest.raises(ValueError) as info:
            tex[name] = value
        # The command line's words, naming the parameter as Python code does.
        expected = message.replace(f"--set '{name}={cli_value}': ", "").replace(f"--set {name}:", f"'{name}':")
        assert str(info.value) == expected
    message = cli.error("eval", "nimbra", "--set", "Nope=1", "0,0")
    with pytest.raises(KeyError) as info:
        tex["Nope"] = 1
    assert "no parameter called 'Nope'" in message and "no parameter called 'Nope'" in str(info.value)
    # A wrong name lists the right ones.
    assert "'U Scale'" in str(info.value) and "sub-map slots: 'Cloud', 'Sky'" in str(info.value)
    with pytest.raises(KeyError, match="unknown class 'marble'"):
        loomwork.Texture("marble")
    with pytest.raises(KeyError, match="no sub-map slot 'Moon'"):
        tex["Moon.U Scale"] = 1
    with pytest.raises(TypeError):
        tex["U Scale"] = object()

    missing = tmp_path / "missing.loom"
    message = cli.error("render", "--scene", missing, "-o", tmp_path / "x.png")
    with pytest.raises(OSError) as info:
        loomwork.load_scene(str(missing))
    assert str(info.value) == message
    bad = tmp_path / "bad.loom"
    bad.write_bytes(b"LOOMSCN\0" + b"\xff" * 12)
    with pytest.raises(OSError, match="bad.loom"):
        loomwork.load_scene(str(bad))
    with pytest.raises(OSError, match="missing.png"):
        loomwork.read_image(str(tmp_path / "missing.png"))
    with pytest.raises(OSError, match="no_folder"):
        loomwork.write_image(str(tmp_path / "no_folder" / "a.png"), np.zeros((2, 2, 4), np.float32))


def test_help_explains_the_api():
    assert "panel names" in loomwork.Texture.__doc__
    assert "bit" in loomwork.Texture.render.__doc__
    assert loomwork.anaglyph.__doc__ and loomwork.load_scene.__doc__


def test_textures_pickle_as_scenes():
    import pickle

    tex = loomwork.Texture("nimbra", **{"U Scale": 3})
    tex["Sky"] = loomwork.Texture("voltrane")
    tex.key("U Shift", 10, 1.0)
    copy = pickle.loads(pickle.dumps(tex))
    assert copy.label == tex.label and copy.class_name == tex.class_name
    assert copy.map("Sky").class_name == tex.map("Sky").class_name
    assert same_bits(copy.render(12, 8, time=5), tex.render(12, 8, time=5))
    # A copy, not the same texture.
    copy["U Scale"] = 9
    assert tex["U Scale"] == 3.0


def test_a_missing_image_warns_and_names_that_are_not_utf8_survive(cli, tmp_path):
    import os
    import subprocess
    import warnings

    # An image and an entry whose names are not UTF-8, made by the command line.
    folder = os.fsencode(tmp_path)
    image = folder + b"/\xffpic.png"
    scene = tmp_path / "s.loom"
    for args in ([b"render", b"nimbra", b"--size", b"2x2", b"-o", image],
                 [b"scene", b"new", os.fsencode(scene), b"nimbra", b"--entry", b"\xfeclouds",
                  b"--set", b"Sky=image:" + image]):
        subprocess.run([cli.binary, *args], check=True, capture_output=True)
    (name,) = loomwork.load_scene(str(scene))
    assert name == "\\xfeclouds"
    os.remove(image)
    # Missing, the image is a warning naming it; under -W error the warning is raised.
    with pytest.warns(UserWarning, match=r"\\xffpic\.png"):
        loomwork.load_scene(str(scene))
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(UserWarning, match="not loaded"):
            loomwork.load_scene(str(scene))
    # Errors naming such files are exceptions of their own kind, not decoding failures.
    with pytest.raises(OSError, match=r"\\xffpic\.png"):
        loomwork.read_image(os.fsdecode(image))


def test_a_bump_scale_that_is_not_a_number_is_refused(cli, tmp_path):
    for value in ("nan", "inf"):
        message = cli.error("render", "nimbra", "--output", "normal", "--bump-scale", value,
                            "--size", "2x2", "-o", tmp_path / "n.png")
        assert "--bump-scale" in message
    assert not (tmp_path / "n.png").exists()
