# loomwork.distributed.render_frames refuses what the command line refuses before it gives
# any task to the cluster: with one clear message, in the command line's words.
import pytest

import loomwork
from loomwork.distributed import render_frames


class UnusedClient:
    """A client that fails the test if render_frames gets as far as using it."""

    def __getattr__(self, name):
        raise AssertionError(f"the cluster was used ({name}) before the arguments were checked")


def test_what_the_command_line_refuses_is_refused_before_any_task(cli, tmp_path):
    tex = loomwork.Texture("nimbra")
    good = str(tmp_path / "f_{frame:04d}.png")
    cases = [
        (OSError, "does not exist", dict(out_pattern=str(tmp_path / "none" / "f_{frame:04d}.png"))),
        (OSError, "unsupported image format '.xyz'", dict(out_pattern=str(tmp_path / "f_{frame}.xyz"))),
        (ValueError, "has no frame number", dict(out_pattern=str(tmp_path / "f.png"))),
        (ValueError, "cannot name a frame (KeyError: 'fr')", dict(out_pattern=str(tmp_path / "f_{fr}.png"))),
        (ValueError, "cannot name a frame", dict(out_pattern=str(tmp_path / "f_%d_%d.png"))),
        (ValueError, "names every frame alike", dict(out_pattern=str(tmp_path / "f_{{frame}}.png"))),
        (ValueError, "output 'colour': use color, mono or normal", dict(output="colour")),
        (ValueError, "width and height must be 1..32768", dict(width=0)),
        (ValueError, "bits must be 8 or 16", dict(bits=12)),
        (ValueError, "chunk_size must be 1 or more", dict(chunk_size=0)),
    ]
    for kind, words, args in cases:
        args.setdefault("out_pattern", good)
        with pytest.raises(kind) as info:
            render_frames(UnusedClient(), tex, range(40), **args)
        assert words in str(info.value) and len(str(info.value)) < 300, str(info.value)
    # The command line's own words for the same mistakes.
    message = cli.error("render", "nimbra", "--frames", "0-3", "-o", tmp_path / "none" / "f.png")
    with pytest.raises(OSError) as info:
        render_frames(UnusedClient(), tex, range(4), str(tmp_path / "none" / "f_%04d.png"))
    assert message.split(": ", 1)[1] == str(info.value).split(": ", 1)[1]
