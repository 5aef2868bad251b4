"""Finding and importing the loomwork Python module, without ever stopping Blender.

The module is looked for, in order, in the folder the add-on's preference names, in the
folders of $LOOMWORK_PYTHONPATH, where Python finds it anyway (the Debian package puts it in
/usr/lib/python3/dist-packages), and beside an installed add-on (PREFIX/lib/python3/
dist-packages or PREFIX/lib/pythonX.Y/site-packages or dist-packages, for an add-on in
PREFIX/share/blender/scripts/addons). The plug-ins are then
found as loomhost finds them: $LOOMHOST_PLUGINS, else the folder the module was built or
installed with.
"""

import importlib
import os
import sys

ENV_FOLDERS = "LOOMWORK_PYTHONPATH"

INSTALL_HINT = (
    "Install the loomwork package (sudo apt install ./loomwork_*.deb, or "
    "cmake --install build --prefix /usr), or set the add-on's preference "
    "'loomwork module folder' (or the environment variable LOOMWORK_PYTHONPATH) to a "
    "folder holding the loomwork package, such as a build's build/python"
)

_state = {"module": None, "error": None}
_added_paths = []


def _installed_beside_addon():
    # PREFIX/share/blender/scripts/addons/loomwork_blender -> where `make install` put the
    # package for that prefix (python/install_package.cmake).
    here = os.path.dirname(os.path.abspath(__file__))
    prefix = os.path.normpath(os.path.join(here, "..", "..", "..", "..", ".."))
    version = "python%d.%d" % sys.version_info[:2]
    return [os.path.join(prefix, "lib", *parts)
            for parts in (("python3", "dist-packages"), (version, "site-packages"),
                          (version, "dist-packages"))]


def candidate_folders(preference_folder=""):
    folders = []
    if preference_folder:
        folders.append(os.path.abspath(os.path.expanduser(preference_folder)))
    folders += [f for f in os.environ.get(ENV_FOLDERS, "").split(os.pathsep) if f]
    return folders


def load(preference_folder=""):
    """The loomwork module, or None with error() saying why and how to install it."""
    if _state["module"] is not None:
        return _state["module"]
    named = candidate_folders(preference_folder)
    at = 0  # the first folder named is searched first
    for folder in named + _installed_beside_addon():
        if os.path.isdir(os.path.join(folder, "loomwork")) and folder not in sys.path:
            sys.path.insert(at, folder)
            _added_paths.append(folder)
            at += 1
    try:
        module = importlib.import_module("loomwork")
        # The plug-ins load now, so that a missing plug-in folder is reported here.
        textures = [c for c in module.classes() if c.kind == "texture"]
        if not textures:
            raise ImportError(f"no texture plug-ins in {module.plugin_folders()}")
        if not hasattr(module, "parameters"):
            raise ImportError(f"{module.__file__} is too old: it cannot list parameters")
    except Exception as e:  # any failure inside the import is reported, never raised
        looked = ", ".join(named) if named else "Python's own path"
        _state["error"] = f"loomwork could not be loaded ({e}); looked in {looked}. {INSTALL_HINT}."
        sys.modules.pop("loomwork", None)
        forget_paths()
        return None
    _state["module"] = module
    _state["error"] = None
    return module


def get():
    return _state["module"]


def error():
    return _state["error"]


def forget_paths():
    """Takes the folders load() put on sys.path off it again."""
    while _added_paths:
        folder = _added_paths.pop()
        if folder in sys.path:
            sys.path.remove(folder)
