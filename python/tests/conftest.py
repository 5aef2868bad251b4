# Shared by the loomwork tests: the command line to compare with, run as a user runs it.
# CTest sets LOOMHOST_BIN and LOOMHOST_PLUGINS (the build's executable and plug-ins).
import os
import subprocess

import numpy as np
import pytest


class Cli:
    def __init__(self, binary, folder):
        self.binary = binary
        self.folder = folder

    def run(self, *args, check=True):
        r = subprocess.run([self.binary, *map(str, args)], capture_output=True, text=True)
        if check and r.returncode != 0:
            raise AssertionError(f"loomhost {' '.join(map(str, args))}: {r.stderr}")
        return r

    def error(self, *args):
        """The one-line message the command line prints for a refused command."""
        r = self.run(*args, check=False)
        assert r.returncode != 0, f"loomhost {args} succeeded"
        line = r.stderr.strip().splitlines()[-1]
        assert line.startswith("loomhost: error: "), r.stderr
        return line[len("loomhost: error: ") :]

    def eval(self, *args):
        out = self.run("eval", *args).stdout
        return np.array([[float(x) for x in line.split()] for line in out.splitlines()], dtype=np.float32)


@pytest.fixture
def cli(tmp_path):
    binary = os.environ.get("LOOMHOST_BIN")
    if not binary:
        pytest.skip("LOOMHOST_BIN is not set (run through ctest)")
    return Cli(binary, tmp_path)


def same_bits(a, b):
    """Equal shapes and every value the same bits (NaN equals NaN, -0 differs from 0)."""
    a = np.ascontiguousarray(a)
    b = np.ascontiguousarray(b)
    return a.shape == b.shape and a.dtype == b.dtype and a.tobytes() == b.tobytes()


def same_as_exr(render, path):
    """A render equals a command-line EXR file: the file holds it as half floats."""
    import loomwork

    ref = loomwork.read_image(str(path))
    if render.ndim == 2:
        ref = ref[:, :, 0]
    else:
        ref = ref[:, :, : render.shape[2]]
    return same_bits(render.astype(np.float16), ref.astype(np.float16))
