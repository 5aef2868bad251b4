"""Operators: a new texture image, a panel button of its texture, a render now."""

import bpy

from . import module, params, render, store


def context_image(context, name=""):
    """The image an operator or panel works on: the one named, the Image Editor's, or the
    active Image Texture node's."""
    if name:
        return bpy.data.images.get(name)
    space = getattr(context, "space_data", None)
    if space is not None and space.type == "IMAGE_EDITOR":
        return space.image
    node = getattr(context, "active_node", None)
    if node is not None and node.type == "TEX_IMAGE":
        return node.image
    return None


def settings_here(context, name=""):
    """The settings of the image an operator or panel works on, or None."""
    return store.settings_of(context_image(context, name), getattr(context, "scene", None))


def find_class(name):
    """The short name of the texture class called `name` (short or full name), or None."""
    if params.layout(name):
        return name
    for lay in params.layouts().values():
        if lay.class_name == name:
            return lay.short_name
    return None


def _class_names(self, context, edit_text):
    return [(n, params.layout(n).class_name) for n in sorted(params.layouts())]


class IMAGE_OT_loomwork_new(bpy.types.Operator):
    """Create a float image rendered by a loomwork texture, with its parameters"""

    bl_idname = "image.loomwork_new"
    bl_label = "New Loomwork Texture"
    bl_options = {"REGISTER", "UNDO"}

    texture: bpy.props.StringProperty(name="Texture", default="nimbra", search=_class_names)
    width: bpy.props.IntProperty(name="Width", default=512, min=0, soft_min=1, soft_max=4096)
    height: bpy.props.IntProperty(name="Height", default=512, min=0, soft_min=1, soft_max=4096)
    name: bpy.props.StringProperty(name="Name", description="The image's name (default: the class's)")
    preset: bpy.props.StringProperty(name="Preset", description="A button of the texture's panel to click first")

    def execute(self, context):
        if module.get() is None:
            self.report({"ERROR"}, module.error())
            return {"CANCELLED"}
        short = find_class(self.texture)
        if short is None:
            names = ", ".join(sorted(params.layouts()))
            self.report({"ERROR"}, f"No texture class '{self.texture}' among the loaded plug-ins ({names})")
            return {"CANCELLED"}
        if self.width < 1 or self.height < 1:
            self.report({"ERROR"}, f"The size {self.width} x {self.height} is empty: give at least 1 x 1 pixels")
            return {"CANCELLED"}
        lay = params.layout(short)
        if self.preset and self.preset not in lay.buttons:
            self.report({"ERROR"}, f"{short} has no button '{self.preset}' ({', '.join(lay.buttons)})")
            return {"CANCELLED"}
        image = bpy.data.images.new(self.name or short, self.width, self.height, alpha=True, float_buffer=True)
        s = getattr(context.scene, store.COLLECTION).add()
        with params.Quiet():
            s.name = image.name
            s.class_name = short
            s.image = image
            s.width, s.height = self.width, self.height
            s.signature = lay.signature()
        if self.preset:
            tex = render.make_texture(short, params.values_of(s))
            tex.preset(self.preset)
            params.write_values(s, tex)
        render.schedule(s)
        space = getattr(context, "space_data", None)
        if space is not None and space.type == "IMAGE_EDITOR":
            space.image = image
        node = getattr(context, "active_node", None)
        if node is not None and node.type == "TEX_IMAGE":
            node.image = image
        return {"FINISHED"}

    def invoke(self, context, event):
        return context.window_manager.invoke_props_dialog(self)


class IMAGE_OT_loomwork_preset(bpy.types.Operator):
    """Click a button of the texture's panel: a preset, palette, mutation or Swap"""

    bl_idname = "image.loomwork_preset"
    bl_label = "Loomwork Panel Button"
    bl_options = {"REGISTER", "UNDO"}

    button: bpy.props.StringProperty(name="Button")
    image: bpy.props.StringProperty(name="Image", description="The image (default: the editor's)")

    def execute(self, context):
        item = settings_here(context, self.image)
        if item is None:
            self.report({"ERROR"}, "No loomwork texture image here")
            return {"CANCELLED"}
        try:
            render.check(item)
            tex = render.make_texture(item.class_name, params.values_of(item))
            tex.preset(self.button)
        except (render.RenderError, KeyError, ValueError) as e:
            self.report({"ERROR"}, str(e))
            return {"CANCELLED"}
        params.write_values(item, tex)
        render.schedule(item)
        return {"FINISHED"}


class IMAGE_OT_loomwork_render(bpy.types.Operator):
    """Render the texture image again for the current frame"""

    bl_idname = "image.loomwork_render"
    bl_label = "Render Loomwork Texture"
    bl_options = {"REGISTER", "UNDO"}  # it accepts the class's parameter list

    image: bpy.props.StringProperty(name="Image", description="The image (default: the editor's)")

    def execute(self, context):
        item = settings_here(context, self.image)
        if item is None:
            self.report({"ERROR"}, "No loomwork texture image here")
            return {"CANCELLED"}
        try:
            render.render_now(item)
        except render.RenderError as e:
            item.error = str(e)
            self.report({"ERROR"}, str(e))
            return {"CANCELLED"}
        item.signature = params.layout(item.class_name).signature()
        return {"FINISHED"}


class LOOMWORK_OT_report(bpy.types.Operator):
    """Shows the add-on's messages in the report area"""

    bl_idname = "loomwork.report"
    bl_label = "Loomwork Report"
    bl_options = {"INTERNAL"}

    message: bpy.props.StringProperty()

    def execute(self, context):
        self.report({"WARNING"}, self.message)
        return {"FINISHED"}


classes = (IMAGE_OT_loomwork_new, IMAGE_OT_loomwork_preset, IMAGE_OT_loomwork_render, LOOMWORK_OT_report)
