"""The add-on's stored settings, all on the scene and so saved in the .blend file.

A loomwork texture image has an item in its scene's `loomwork_textures` (store.py): the image,
the class, the size and, under p_CLASS, the class's parameters. Keys of those parameters are
the scene's. The stereo settings are the scene's `loomwork_stereo`.
"""

import bpy

from . import module, params


def _on_size(self, context):
    if not params._quiet[0] and self.image is not None:
        from . import render

        render.schedule(self)


def settings_class(groups):
    """The settings of one texture image, with a pointer to each texture class's parameter
    group (only the image's class's group is used)."""
    annotations = {
        "class_name": bpy.props.StringProperty(name="Class", description="The texture class (plug-in short name)"),
        "image": bpy.props.PointerProperty(type=bpy.types.Image, name="Image", description="The image the texture renders into"),
        "width": bpy.props.IntProperty(name="Width", default=512, min=0, soft_min=1, soft_max=4096, update=_on_size),
        "height": bpy.props.IntProperty(name="Height", default=512, min=0, soft_min=1, soft_max=4096, update=_on_size),
        "seed": bpy.props.IntProperty(
            name="Seed", default=0, min=0, max=2147483647, update=_on_size,
            description="Another pattern of the same kind (loomhost render --seed); 0 keeps the built-in one",
        ),
        "tile": bpy.props.BoolProperty(
            name="Seamless tile", update=_on_size,
            description="A pattern that repeats without a seam (loomhost render --tile)",
        ),
        "tiles_x": bpy.props.IntProperty(
            name="Tiles across", default=1, min=1, max=64, update=_on_size,
            description="Copies of a seamless tile across the image (loomhost render --tiles); "
            "the width must be a whole number of pixels a tile",
        ),
        "tiles_y": bpy.props.IntProperty(
            name="Tiles down", default=1, min=1, max=64, update=_on_size,
            description="Copies of a seamless tile down the image; the height must be a whole number of pixels a tile",
        ),
        "signature": bpy.props.StringProperty(
            name="Parameter list", description="The class's parameters when the texture was last rendered"
        ),
        "error": bpy.props.StringProperty(name="Problem"),
    }
    for lay in params.layouts().values():
        annotations[lay.pointer_name] = bpy.props.PointerProperty(type=lay.group)
    return type("LOOMWORK_PG_texture", (bpy.types.PropertyGroup,), {"__annotations__": annotations})


EYES = [(c, c.title(), f"The {c} channel") for c in ("red", "green", "blue")]
METHODS = [
    ("grey", "Grey", "The stereo filter's grey anaglyph: eye colours and compensations"),
    ("half-colour", "Half colour", "Half-colour anaglyph for the glasses chosen"),
    ("colour", "Colour", "Colour anaglyph for the glasses chosen"),
    ("dubois", "Dubois", "Least-squares anaglyph for the glasses chosen"),
]
GLASSES = [(g, g.replace("-", " ").title(), "") for g in ("red-cyan", "green-magenta", "amber-blue")]


class LOOMWORK_PG_stereo(bpy.types.PropertyGroup):
    enabled: bpy.props.BoolProperty(
        name="Compose anaglyph",
        description="After each stereo frame is written, compose its two views into an anaglyph beside them",
    )
    method: bpy.props.EnumProperty(name="Method", items=METHODS, default="grey")
    left_eye: bpy.props.EnumProperty(name="Left eye", items=EYES, default="red")
    right_eye: bpy.props.EnumProperty(name="Right eye", items=EYES, default="green")
    left_comp: bpy.props.FloatProperty(name="Left compensation", default=-0.1, min=-0.5, max=0.0, step=1)
    right_comp: bpy.props.FloatProperty(name="Right compensation", default=-0.1, min=-0.5, max=0.0, step=1)
    glasses: bpy.props.EnumProperty(name="Glasses", items=GLASSES, default="red-cyan")
    suffix: bpy.props.StringProperty(name="File suffix", default="_anaglyph")
    last_error: bpy.props.StringProperty(name="Problem")

    def anaglyph_options(self):
        if self.method == "grey":
            return dict(left_eye=self.left_eye, right_eye=self.right_eye,
                        left_comp=self.left_comp, right_comp=self.right_comp)
        return dict(method=self.method, glasses=self.glasses)


def _on_folder(self, context):
    from . import registration

    registration.retry_module()


class LOOMWORK_AP_preferences(bpy.types.AddonPreferences):
    bl_idname = __package__

    module_folder: bpy.props.StringProperty(
        name="loomwork module folder",
        description="A folder holding the loomwork Python package (a build's build/python); "
        "empty: the installed package",
        subtype="DIR_PATH",
        update=_on_folder,
    )

    def draw(self, context):
        col = self.layout.column()
        col.prop(self, "module_folder")
        if module.get() is None:
            from .ui import draw_wrapped

            draw_wrapped(col, module.error() or "loomwork is not loaded", icon="ERROR")
        else:
            lw = module.get()
            col.label(text=f"loomwork: {lw.__file__}", icon="CHECKMARK")
            col.label(text="Plug-ins: " + ", ".join(lw.plugin_folders()))
