"""Procedural textures and the stereo filter of loomwork, for Python.

    import loomwork
    tex = loomwork.Texture("nimbra", **{"U Scale": 4})
    tex["Sky"] = (0.2, 0.3, 1.0)
    tex.key("U Shift", 0, 0.0)
    tex.key("U Shift", 30, 1.0)                 # moves from 0 to 1 over frames 0..30
    rgba = tex.render(512, 512, time=15)        # float32 (512, 512, 4)
    dict(tex.items())                           # every parameter's value

The plug-ins come from $LOOMHOST_PLUGINS when it is set, else from the folder the package
was built or installed with; load_plugins([folder]) chooses others before first use.
Renders, samples and anaglyphs are the same bits as the loomhost command line's, and let
Python's other threads run while they work.
"""

from . import _config
from ._loomwork import (
    ClassInfo,
    ParamInfo,
    Texture,
    align,
    anaglyph,
    classes,
    frame_list,
    load_plugins,
    load_scene,
    panel_buttons,
    parameters,
    plugin_folders,
    read_image,
    save_scene,
    write_image,
)
from ._loomwork import __version__, _set_default_plugin_folders
from . import _arguments, _mapping

_set_default_plugin_folders(_config.PLUGIN_DIRS)

Key = _mapping.Key

__all__ = [
    "ClassInfo",
    "Key",
    "ParamInfo",
    "Texture",
    "align",
    "anaglyph",
    "classes",
    "frame_list",
    "load_plugins",
    "load_scene",
    "panel_buttons",
    "parameters",
    "plugin_folders",
    "read_image",
    "save_scene",
    "write_image",
]

# Arguments of the wrong type are refused in plain words.
_arguments.wrap_module(globals(), [n for n in __all__ if n not in ("ClassInfo", "ParamInfo", "Texture")])
_arguments.wrap_class(Texture)
_mapping.add_to(Texture, parameters)
