# The installed add-on finds the installed module and plug-ins by itself: installs the build
# into a scratch prefix, then Blender (whose user scripts folder is the prefix's
# share/blender/scripts, as /usr/share/blender/scripts is for Debian's Blender) enables the
# add-on there, without the build tree, LOOMWORK_PYTHONPATH or LOOMHOST_PLUGINS.
# Run as: blender -b --factory-startup --python-exit-code 1 --python installed_check.py -- CMAKE BUILD PREFIX
import os
import shutil
import subprocess
import sys

import addon_utils
import bpy

cmake, build, prefix = sys.argv[sys.argv.index("--") + 1 :]
assert os.environ.get("BLENDER_USER_SCRIPTS") == os.path.join(prefix, "share", "blender", "scripts")
assert "LOOMWORK_PYTHONPATH" not in os.environ and "LOOMHOST_PLUGINS" not in os.environ
shutil.rmtree(prefix, ignore_errors=True)
subprocess.run([cmake, "--install", build, "--prefix", prefix], check=True, stdout=subprocess.DEVNULL)

# The folder did not exist when Blender started: Blender looks again, as after installing.
bpy.utils.refresh_script_paths()
addon = addon_utils.enable("loomwork_blender", default_set=True)
assert addon is not None and addon.__file__.startswith(prefix), addon
lw = addon.module.get()
assert lw is not None, addon.module.error()
assert lw.__file__.startswith(os.path.join(prefix, "lib")), lw.__file__
assert lw.plugin_folders() == [os.path.join(prefix, "lib", "loomwork", "plugins")], lw.plugin_folders()
assert bpy.ops.image.loomwork_new(texture="fervix", width=6, height=4) == {"FINISHED"}
assert tuple(bpy.data.images["fervix"].size) == (6, 4)
addon_utils.disable("loomwork_blender")
shutil.rmtree(prefix)
print("the installed add-on loads the installed module and plug-ins")
