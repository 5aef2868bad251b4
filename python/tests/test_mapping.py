# A texture as a mapping of its parameters, what each parameter is, its keys, and the
# package's description of itself (version, stubs).
import ast
import pathlib

import numpy as np
import pytest

import loomwork
from conftest import same_bits

STUB = pathlib.Path(loomwork.__file__).with_name("__init__.pyi")


def test_a_texture_is_a_mapping_of_its_parameters():
    tex = loomwork.Texture("nimbra", U_Scale=4)
    names = tex.params()
    assert list(tex) == list(tex.keys()) == names and len(tex) == len(names) > 0
    items = dict(tex.items())
    assert list(items) == names and items["U Scale"] == 4.0
    assert tex.values() == [tex[n] for n in names]
    assert "U Scale" in tex and "Sky" in tex and "Nope" not in tex


def test_info_says_what_each_parameter_is_as_the_command_line_does(cli):
    tex = loomwork.Texture("nimbra")
    table = [line for line in cli.run("params", "nimbra").stdout.splitlines()[1:] if line[:1].isdigit()]
    assert [p.name for p in tex.info()] == names_of(table) == tex.params()
    contrast = tex.info("Contrast")
    row = next(line.split() for line in table if line.split()[1] == "Contrast")
    assert (contrast.type, contrast.animatable) == (row[2], row[4] == "yes")
    assert not tex.info("Positive").animatable
    assert contrast.default == float(row[3]) and contrast.min < contrast.max
    # Sub-maps' parameters by path, as they are set.
    tex["Sky"] = loomwork.Texture("fervix")
    assert tex.info("Sky.U Scale").default == loomwork.Texture("fervix").info("U Scale").default
    with pytest.raises(KeyError, match="Nope"):
        tex.info("Nope")


def names_of(table):
    # "index name type default animatable": a name may hold spaces.
    out = []
    for line in table:
        words = line.split()
        type_at = next(i for i, w in enumerate(words) if w in ("float", "int", "color"))
        out.append(" ".join(words[1:type_at]))
    return out


def test_keys_are_listed_removed_and_interpolate_linearly():
    tex = loomwork.Texture("nimbra")
    assert tex.keyframes("U Shift") == [] and not tex.animated("U Shift")
    tex.key("U Shift", 0, 0.0)
    tex.key("U Shift", 30, 1.0)
    tex.key("Sky", 10, (0.0, 0.5, 1.0))
    assert tex.keyframes("U Shift") == [(0.0, 0.0, "linear"), (30.0, 1.0, "linear")]
    assert tex.keyframes("Sky")[0].value == (0.0, 0.5, 1.0)
    assert tex.animated("U Shift") and tex.get("U Shift", 15) == 0.5
    # Two keys animate: the picture moves between them.
    assert not same_bits(tex.render(16, 16, time=0, threads=1), tex.render(16, 16, time=30, threads=1))
    tex.remove_key("U Shift", 0)
    assert tex.keyframes("U Shift") == [(30.0, 1.0, "linear")] and tex.get("U Shift", 0) == 1.0
    with pytest.raises(ValueError, match="no key at frame 3"):
        tex.remove_key("U Shift", 3)
    # The last key removed leaves its value at every frame.
    tex.remove_key("U Shift", 30)
    assert not tex.animated("U Shift") and tex.get("U Shift", 99) == 1.0


def test_the_package_says_its_version_and_its_stubs_carry_the_docstrings():
    assert loomwork.__version__ and loomwork.__version__[0].isdigit()
    tree = ast.parse(STUB.read_text())
    described = {}
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            described.setdefault(node.name, ast.get_docstring(node))
            if isinstance(node, ast.ClassDef):
                for member in node.body:
                    if isinstance(member, ast.FunctionDef):
                        # A property's setter comes after its documented getter.
                        described.setdefault(f"{node.name}.{member.name}", ast.get_docstring(member))
    public = [n for n in loomwork.__all__]
    public += [f"Texture.{n}" for n in dir(loomwork.Texture) if not n.startswith("_")]
    public += ["Texture.__getitem__", "Texture.__setitem__", "Texture.__iter__", "Texture.__len__"]
    missing = [n for n in public if not described.get(n)]
    assert not missing, f"without a docstring in the stub: {missing}"
