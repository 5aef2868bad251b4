# Seeds and seamless tiles from Python are the command line's, bit for bit.
import pytest

import loomwork
from conftest import same_as_exr


def test_seed_and_tile_render_as_the_command_line(cli, tmp_path):
    tex = loomwork.Texture("fervix", seed=11)
    assert tex.seed == 11
    cli.run("render", "fervix", "--seed", 11, "--tile", "--size", "40x24", "-o", tmp_path / "a.exr")
    assert same_as_exr(tex.render(40, 24, tile=True), tmp_path / "a.exr")
    # render(seed=) is for that render only; the texture keeps its own.
    cli.run("render", "fervix", "--seed", 5, "--size", "40x24", "-o", tmp_path / "b.exr")
    assert same_as_exr(tex.render(40, 24, seed=5), tmp_path / "b.exr")
    assert tex.seed == 11
    tex.seed = 0
    cli.run("render", "fervix", "--size", "40x24", "-o", tmp_path / "c.exr")
    assert same_as_exr(tex.render(40, 24), tmp_path / "c.exr")


@pytest.mark.parametrize("seed", [-1, 2147483648])
def test_a_seed_out_of_range_is_refused(seed):
    with pytest.raises(ValueError, match="out of range"):
        loomwork.Texture("nimbra", seed=seed)
    with pytest.raises(ValueError, match="out of range"):
        loomwork.Texture("nimbra").render(8, 8, seed=seed)
