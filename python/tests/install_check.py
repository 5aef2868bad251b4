# The installed package works on its own: installs the build into a scratch prefix, then
# imports it there, without the build tree or LOOMHOST_PLUGINS, and renders.
# Usage: install_check.py CMAKE BUILD_DIR PREFIX
import os
import shutil
import subprocess
import sys

cmake, build, prefix = sys.argv[1:4]
shutil.rmtree(prefix, ignore_errors=True)
subprocess.run([cmake, "--install", build, "--prefix", prefix], check=True, stdout=subprocess.DEVNULL)
env = {k: v for k, v in os.environ.items() if k not in ("LOOMHOST_PLUGINS", "PYTHONPATH")}
# A prefix such as ~/.local is the user's base: with PYTHONUSERBASE naming it, the
# interpreter finds the package without PYTHONPATH.
env["PYTHONUSERBASE"] = prefix
probe = """
import loomwork, os, sys
assert os.path.dirname(loomwork.__file__).startswith(sys.argv[1]), loomwork.__file__
t = loomwork.Texture("nimbra")
assert t.render(4, 4).shape == (4, 4, 4)
assert loomwork.plugin_folders() == [os.path.join(sys.argv[1], "lib", "loomwork", "plugins")], loomwork.plugin_folders()
assert {c.short_name for c in loomwork.classes()} >= {"nimbra", "dioptrix"}
"""
subprocess.run([sys.executable, "-c", probe, prefix], check=True, env=env, cwd=prefix)
shutil.rmtree(prefix)
print("installed package imports and renders")
