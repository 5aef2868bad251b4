# Shared by the add-on's headless tests: installs the add-on from its zip into the scratch
# user folder Blender was started with (BLENDER_USER_SCRIPTS), enables it, and compares
# pictures. Run as: blender -b --factory-startup --python-exit-code 1 --python TEST -- ZIP SCRATCH
import os
import shutil
import sys
import time

import bpy
import numpy as np

ADDON = "loomwork_blender"
_started = time.monotonic()


def arguments():
    args = sys.argv[sys.argv.index("--") + 1 :] if "--" in sys.argv else []
    if len(args) != 2:
        raise SystemExit("usage: blender -b --python TEST -- ADDON_ZIP SCRATCH_FOLDER")
    return args


def install(prepare_env=None):
    """Installs and enables the add-on from the zip; returns its package and the scratch folder."""
    zip_path, scratch = arguments()
    scripts = os.environ.get("BLENDER_USER_SCRIPTS", "")
    if not scripts or not os.path.abspath(scripts).startswith(os.path.abspath(scratch)):
        raise SystemExit("BLENDER_USER_SCRIPTS must point into the scratch folder (run through ctest)")
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(os.path.join(scratch, "out"))
    if prepare_env:
        prepare_env(scratch)
    bpy.ops.preferences.addon_install(filepath=zip_path, overwrite=True)
    bpy.ops.preferences.addon_enable(module=ADDON)
    package = sys.modules[ADDON]
    installed = os.path.dirname(package.__file__)
    assert installed.startswith(os.path.abspath(scripts)), f"add-on imported from {installed}"
    return package, scratch


def image_rgba(image):
    """An image's pixels as loomwork gives renders: float32 (H, W, 4), top row first."""
    w, h = image.size
    pixels = np.empty(w * h * 4, dtype=np.float32)
    image.pixels.foreach_get(pixels)
    return pixels.reshape(h, w, 4)[::-1]


def same_bits(a, b):
    a, b = np.ascontiguousarray(a), np.ascontiguousarray(b)
    return a.shape == b.shape and a.dtype == b.dtype and a.tobytes() == b.tobytes()


def expect_refused(call, *words):
    """Runs an operator that must be refused with a report holding `words`."""
    try:
        result = call()
    except RuntimeError as e:  # Blender without a window raises an operator's error report
        text = str(e)
        assert all(w in text for w in words), text
        return text
    raise AssertionError(f"not refused: {result}")


def done(name):
    print(f"{name}: passed in {time.monotonic() - _started:.1f} s")
