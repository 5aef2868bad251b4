# Without a working loomwork module the add-on still enables: the preferences and panels
# say how to install it, the operators report it; the preference's folder then loads it;
# disabling leaves nothing behind.
import os
import sys

import bpy

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402


build_python = os.environ.get("LOOMWORK_PYTHONPATH", "")


def broken_module(scratch):
    # A loomwork package that fails to import stands before the build's.
    folder = os.path.join(scratch, "broken")
    os.makedirs(os.path.join(folder, "loomwork"))
    with open(os.path.join(folder, "loomwork", "__init__.py"), "w") as f:
        f.write("raise ImportError('libloomhost.so.1: cannot open shared object file')\n")
    os.environ["LOOMWORK_PYTHONPATH"] = folder


addon, scratch = harness.install(broken_module)
error = addon.module.error()
assert error and "libloomhost.so.1" in error and "LOOMWORK_PYTHONPATH" in error and "apt install" in error, error
assert "loomwork" not in sys.modules
text = harness.expect_refused(lambda: bpy.ops.image.loomwork_new(texture="nimbra"), "LOOMWORK_PYTHONPATH")
# The stored settings' type is registered all the same, so files keep their textures.
assert hasattr(bpy.types.Scene, "loomwork_textures")

# The preference naming a module folder (here the build's) loads it at once, before the
# folders of LOOMWORK_PYTHONPATH.
prefs = bpy.context.preferences.addons[harness.ADDON].preferences
prefs.module_folder = build_python
assert addon.module.get() is not None, addon.module.error()
assert bpy.ops.image.loomwork_new(texture="lumidot", width=8, height=6) == {"FINISHED"}
import loomwork  # noqa: E402

image = bpy.data.images["lumidot"]
assert harness.same_bits(harness.image_rgba(image), loomwork.Texture("lumidot").render(8, 6, time=1))
bpy.ops.preferences.addon_disable(module=harness.ADDON)
assert not hasattr(bpy.types.Scene, "loomwork_textures") and not hasattr(bpy.types.Scene, "loomwork_stereo")
assert os.path.join(scratch, "broken") not in sys.path and build_python not in sys.path, sys.path
harness.done("missing module")
