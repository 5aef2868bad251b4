# What loomwork.parameters() says of a texture class: the parameter block's rows with the
# ranges of the panel's controls; and asking leaves later renders as a fresh loomhost's.
import pytest

import loomwork
from conftest import same_as_exr

CLASSES = ("voltrane", "fervix", "lumidot", "nimbra")


def test_parameters_leave_renders_alone(cli, tmp_path):
    # Asked first in the process: describing opens panels and clicks mutation buttons,
    # which must not reach the generator the noise tables are built from.
    for cls in CLASSES:
        loomwork.parameters(cls)
    for cls in ("voltrane", "fervix"):
        cli.run("render", cls, "--size", "23x17", "-o", tmp_path / f"{cls}.exr")
        assert same_as_exr(loomwork.Texture(cls).render(23, 17), tmp_path / f"{cls}.exr"), cls


@pytest.mark.parametrize("cls", CLASSES)
def test_parameters_are_the_textures_rows(cls):
    tex = loomwork.Texture(cls)
    infos = loomwork.parameters(cls)
    assert [p.name for p in infos] == tex.params()
    for p in infos:
        assert p.default == tex[p.name], p
        assert p.type == {float: "float", int: "int", tuple: "color"}[type(tex[p.name])], p
        if p.control in ("spinner", "slider"):
            assert p.min < p.max and p.step > 0, p
        if p.control == "none":
            assert p.min is None and p.max is None, p
    # Nearly every row has a control on the panel.
    assert sum(p.control != "none" for p in infos) >= len(infos) - 2, infos
    # Every button listed is one preset() clicks, and it changes something (the voltrane
    # panel has none that set values).
    buttons = loomwork.panel_buttons(cls)
    assert bool(buttons) == (cls != "voltrane"), buttons
    for text in buttons:
        t = loomwork.Texture(cls)
        t.preset(text)
        assert any(t[n] != tex[n] for n in tex.params()), text


def test_ranges_are_the_panel_controls():
    nimbra = {p.name: p for p in loomwork.parameters("nimbra")}
    contrast = nimbra["Contrast"]
    assert (contrast.control, contrast.min, contrast.max) == ("spinner", 0.0, 6.0)
    assert contrast.step == pytest.approx(0.1)
    assert (nimbra["U Scale"].control, nimbra["U Scale"].min, nimbra["U Scale"].max) == ("slider", 0.0, 100.0)
    assert (nimbra["Positive"].control, nimbra["Positive"].min, nimbra["Positive"].max) == ("button", 0, 1)
    cloud = nimbra["Cloud"]
    assert (cloud.control, cloud.type, cloud.min, cloud.max) == ("swatch", "color", 0.0, 1.0)
    assert cloud.default == (9.0, 9.0, 1.0)  # stored beyond the swatch's range
    sweep = {p.name: p for p in loomwork.parameters("voltrane")}["Sweep Phase"]
    assert (sweep.type, sweep.min, sweep.max, sweep.step) == ("int", -700, 700, 1)
    assert "Martian" in loomwork.panel_buttons("nimbra")
    with pytest.raises(KeyError, match="nosuch"):
        loomwork.parameters("nosuch")
    with pytest.raises(KeyError, match="texture class"):
        loomwork.parameters("dioptrix")
