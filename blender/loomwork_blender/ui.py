"""The panels: the texture settings of the image in the Image Editor's and the shader
editor's sidebars (tab "Loomwork"), and the anaglyph settings in the Output properties."""

import textwrap

import bpy

from . import module, params
from .operators import settings_here


def draw_wrapped(layout, text, icon="NONE", width=60):
    col = layout.column(align=True)
    for i, line in enumerate(textwrap.wrap(text, width) or [""]):
        col.label(text=line, icon=icon if i == 0 else "BLANK1")


def draw_texture(layout, context):
    if module.get() is None:
        draw_wrapped(layout, module.error() or "loomwork is not loaded", icon="ERROR")
        return
    s = settings_here(context)
    if s is None:
        layout.operator("image.loomwork_new", icon="TEXTURE")
        return
    lay = params.layout(s.class_name)
    layout.label(text=lay.class_name if lay else f"{s.class_name} (not loaded)", icon="TEXTURE")
    if s.id_data != getattr(context, "scene", None):
        # Its keys are that scene's, evaluated at that scene's frames.
        layout.label(text=f"Settings and keys in scene '{s.id_data.name}'", icon="SCENE_DATA")
    row = layout.row(align=True)
    row.prop(s, "width")
    row.prop(s, "height")
    row = layout.row(align=True)
    row.prop(s, "seed")
    row.prop(s, "tile")
    row = layout.row(align=True)
    row.prop(s, "tiles_x")
    row.prop(s, "tiles_y")
    if s.error:
        draw_wrapped(layout, s.error, icon="ERROR")
    if lay is None:
        return
    row = layout.row(align=True)
    if lay.buttons:
        row.menu("LOOMWORK_MT_buttons", text="Presets")
    row.operator("image.loomwork_render", text="", icon="FILE_REFRESH")
    group = getattr(s, lay.pointer_name)
    col = layout.column()
    for ident, _ in lay.params:
        col.prop(group, ident)


class LOOMWORK_MT_buttons(bpy.types.Menu):
    bl_label = "Panel Buttons"

    def draw(self, context):
        item = settings_here(context)
        lay = params.layout(item.class_name) if item else None
        for text in lay.buttons if lay else []:
            self.layout.operator("image.loomwork_preset", text=text).button = text


class LOOMWORK_PT_image(bpy.types.Panel):
    bl_label = "Loomwork Texture"
    bl_space_type = "IMAGE_EDITOR"
    bl_region_type = "UI"
    bl_category = "Loomwork"

    def draw(self, context):
        draw_texture(self.layout, context)


class LOOMWORK_PT_node(bpy.types.Panel):
    bl_label = "Loomwork Texture"
    bl_space_type = "NODE_EDITOR"
    bl_region_type = "UI"
    bl_category = "Loomwork"

    @classmethod
    def poll(cls, context):
        return getattr(context.space_data, "tree_type", "") == "ShaderNodeTree"

    def draw(self, context):
        draw_texture(self.layout, context)


class LOOMWORK_PT_stereo(bpy.types.Panel):
    bl_label = "Loomwork Anaglyph"
    bl_space_type = "PROPERTIES"
    bl_region_type = "WINDOW"
    bl_context = "output"
    bl_options = {"DEFAULT_CLOSED"}

    @classmethod
    def poll(cls, context):
        return context.scene.render.use_multiview

    def draw_header(self, context):
        self.layout.prop(context.scene.loomwork_stereo, "enabled", text="")

    def draw(self, context):
        st = context.scene.loomwork_stereo
        col = self.layout.column()
        col.active = st.enabled
        col.prop(st, "method")
        if st.method == "grey":
            col.prop(st, "left_eye")
            col.prop(st, "right_eye")
            col.prop(st, "left_comp")
            col.prop(st, "right_comp")
        else:
            col.prop(st, "glasses")
        col.prop(st, "suffix")
        if st.last_error:
            draw_wrapped(col, st.last_error, icon="ERROR")


classes = (LOOMWORK_MT_buttons, LOOMWORK_PT_image, LOOMWORK_PT_node, LOOMWORK_PT_stereo)
