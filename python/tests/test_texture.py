# Textures from Python: parameters by panel name, colours, sub-maps, keys and presets, with
# the command line as the reference for what each should do.
import json
import subprocess
import sys

import numpy as np
import pytest

import loomwork
from conftest import same_as_exr, same_bits


def test_classes_list_the_textures_and_the_filter():
    by_short = {c.short_name: c for c in loomwork.classes()}
    assert {"nimbra", "voltrane", "fervix", "lumidot", "dioptrix"} <= set(by_short)
    assert by_short["dioptrix"].kind == "filter"
    for name in ("nimbra", "voltrane", "fervix", "lumidot"):
        c = by_short[name]
        assert c.kind == "texture"
        # Both names make the same class.
        assert loomwork.Texture(c.name).class_name == loomwork.Texture(name).class_name == c.name


@pytest.mark.parametrize("cls", ["nimbra", "voltrane", "fervix", "lumidot"])
def test_every_parameter_round_trips(cls):
    tex = loomwork.Texture(cls)
    for i, name in enumerate(tex.params()):
        old = tex[name]
        if isinstance(old, tuple):
            new = (0.25, 0.5 + i / 64, 0.125)
        elif isinstance(old, int):
            new = 1 - old if old in (0, 1) else old + 1
        else:
            new = old + 0.5
        tex[name] = new
        got = tex[name]
        assert type(got) is type(old), name
        # Values are stored as single-precision floats.
        assert np.array_equal(np.float32(got), np.float32(new)), name


def test_keyword_parameters_and_item_access_agree():
    a = loomwork.Texture("nimbra", U_Scale=4, Sky=(0.1, 0.2, 0.3), Positive=0)
    b = loomwork.Texture("nimbra", **{"U Scale": 4})
    b["Sky"] = [0.1, 0.2, 0.3]
    b.set("Positive", False)
    for name in ("U Scale", "Sky", "Positive"):
        assert a[name] == b[name]
    assert a["U Scale"] == 4.0
    assert a["Sky"] == tuple(float(np.float32(x)) for x in (0.1, 0.2, 0.3))
    assert "U Scale" in a and "Cloud" in a and "Nope" not in a


def test_keys_animate_as_the_command_line_keys_them(cli):
    tex = loomwork.Texture("nimbra")
    tex.key("U Shift", 0, 0.0)
    tex.key("U Shift", 30, 3.0)
    assert tex.get("U Shift", time=0) == 0.0
    assert tex.get("U Shift", time=30) == 3.0
    assert 0.0 < tex.get("U Shift", time=12) < 3.0
    points = ["0.1,0.2", "0.7,0.4"]
    for frame in (0, 12, 30):
        expected = cli.eval("nimbra", "--key", "U Shift@0=0", "--key", "U Shift@30=3", "--time", frame, *points)
        got = tex.sample([0.1, 0.7], [0.2, 0.4], time=frame)
        assert same_bits(got, expected), frame


def test_presets_are_the_panel_buttons_the_command_line_clicks(cli, tmp_path):
    tex = loomwork.Texture("nimbra", preset="Martian")
    other = loomwork.Texture("nimbra")
    other.preset("Martian")
    assert [tex[n] for n in tex.params()] == [other[n] for n in other.params()]
    assert tex["Sky"] != loomwork.Texture("nimbra")["Sky"]
    cli.run("render", "nimbra", "--preset", "Martian", "--size", "16x8", "-o", tmp_path / "m.exr")
    assert same_as_exr(tex.render(16, 8), tmp_path / "m.exr")
    with pytest.raises(ValueError, match="Nowhere"):
        tex.preset("Nowhere")


def test_sub_maps_are_textures_image_files_or_empty(cli, tmp_path):
    sky = loomwork.Texture("voltrane")
    tex = loomwork.Texture("nimbra")
    assert tex.map("Sky") is None
    tex["Sky"] = sky
    # Shared, not copied: a change to sky reaches the parent, also by "Slot.Name".
    sky["Edge Density"] = 7
    assert tex.map("Sky")["Edge Density"] == 7.0
    tex["Sky.Edge Density"] = 9
    assert sky["Edge Density"] == 9.0
    assert tex.map("Sky").class_name == sky.class_name

    image = tmp_path / "grad.png"
    ramp = np.linspace(0, 1, 8 * 8 * 3, dtype=np.float32).reshape(8, 8, 3)
    loomwork.write_image(str(image), ramp)
    tex["Cloud"] = str(image)
    cli.run("render", "nimbra", "--set", "Sky=map:voltrane", "--set", "Sky.Edge Density=9",
            "--set", f"Cloud=image:{image}", "--size", "12x10", "-o", tmp_path / "ref.exr")
    assert same_as_exr(tex.render(12, 10), tmp_path / "ref.exr")

    tex["Sky"] = None
    assert tex.map("Sky") is None
    with pytest.raises(ValueError, match="could not be assigned"):
        sky["Background"] = sky


# Sampled in an interpreter of its own, as the command line evaluates in a process of its
# own: noise tables are built once a process, from the draws of whichever map first needs
# them, so a texture's values depend on what the process evaluated before.
FRESH_SAMPLE = """
import json, sys
import numpy as np
import loomwork
cls, sets, output, points, result = json.loads(sys.argv[1])
tex = loomwork.Texture(cls)
for name, value in sets.items():
    tex[name] = loomwork.Texture(value[4:]) if value.startswith("map:") else float(value)
u, v = np.load(points)
np.save(result, tex.sample(u, v, time=5, output=output))
"""

SAMPLE_CASES = {
    "nimbra": ("nimbra", {}),
    "fervix": ("fervix", {}),
    "lumidot": ("lumidot", {}),
    # Draws random numbers while it evaluates (its jitter).
    "voltrane": ("voltrane", {"Edge Density": "7"}),
    # A sub-map that draws, under a parent that does not; and the other way round.
    "nimbra_over_voltrane": ("nimbra", {"Sky": "map:voltrane"}),
    "voltrane_over_fervix": ("voltrane", {"Background": "map:fervix"}),
    "fervix_over_nimbra": ("fervix", {"Prime": "map:nimbra"}),
}


@pytest.mark.parametrize("output", ["color", "mono", "normal"])
@pytest.mark.parametrize("case", sorted(SAMPLE_CASES))
def test_samples_are_the_point_by_point_evaluation_of_the_command_line(cli, tmp_path, case, output):
    cls, sets = SAMPLE_CASES[case]
    # Points off the unit square too, more than one chunk of the batch path (1024 points).
    rng = np.random.default_rng(len(case) * 7 + len(output))
    u, v = rng.uniform(-0.5, 1.5, 1500), rng.uniform(-0.5, 1.5, 1500)
    np.save(tmp_path / "points.npy", np.stack([u, v]))
    job = [cls, sets, output, str(tmp_path / "points.npy"), str(tmp_path / "got.npy")]
    subprocess.run([sys.executable, "-c", FRESH_SAMPLE, json.dumps(job)], check=True)
    got = np.load(tmp_path / "got.npy")
    args = [a for name, value in sets.items() for a in ("--set", f"{name}={value}")]
    flag = {"color": [], "mono": ["--mono"], "normal": ["--normal"]}[output]
    expected = cli.eval(cls, *args, "--time", 5, *flag, *(f"{a!r},{b!r}" for a, b in zip(u, v)))
    if output == "mono":
        expected = expected[:, 0]
    assert same_bits(got, expected)
