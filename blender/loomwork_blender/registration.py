"""Registration, unregistration and the application handlers.

Everything registered is taken back on unregistration: classes, the properties added to
Blender's types, handlers, timers, the render thread and the folders put on sys.path.
Without loomwork the add-on still registers its preferences and panels, which say how to
install it; Blender starts either way.
"""

import json

import bpy

from . import module, operators, params, props, render, stereo, ui

_static = [props.LOOMWORK_PG_stereo, props.LOOMWORK_AP_preferences, *operators.classes, *ui.classes]
_dynamic = []  # the parameter groups and the settings group made from the plug-ins
_rendering = [False]
messages = []  # everything reported, newest last (tests read it)


def report(lines):
    """Shows messages in the report area (printed when Blender runs without a window)."""
    for line in lines:
        messages.append(line)
        print("loomwork:", line)
    if lines and not bpy.app.background:

        def show():
            for line in lines:
                try:
                    bpy.ops.loomwork.report(message=line)
                except Exception:
                    pass
            return None

        bpy.app.timers.register(show, first_interval=0.1)


def loomwork_textures():
    return [t for t in bpy.data.textures if getattr(t, "loomwork", None) and t.loomwork.class_name]


def stored_class(texture):
    """The class name stored with a texture, even when the settings are not registered."""
    raw = texture.get("loomwork")
    return raw.get("class_name", "") if raw else ""


def check_stored(texture):
    """Messages about a stored texture the loaded plug-ins cannot render as it was."""
    s = texture.loomwork
    lay = params.layout(s.class_name)
    if lay is None:
        return [f"'{texture.name}': no texture class '{s.class_name}' among the loaded plug-ins; "
                "its image keeps its last pixels"]
    if not s.signature or s.signature == lay.signature():
        return []
    try:
        saved = {name: kind for name, kind in json.loads(s.signature)}
    except (ValueError, TypeError):
        saved = {}
    now = {p.name: p.type for _, p in lay.params}
    changes = [f"{n} is new (default)" for n in now if n not in saved]
    changes += [f"{n} is gone" for n in saved if n not in now]
    changes += [f"{n} is now {now[n]}" for n in now if n in saved and saved[n] != now[n]]
    return [f"'{texture.name}' was saved with other parameters of {s.class_name}: "
            f"{'; '.join(changes) or 'another order'}; Render again to accept them"]


def refresh_all(frame=None, only_changed=False):
    problems = []
    for texture in loomwork_textures():
        try:
            render.check(texture)
        except render.RenderError as e:
            texture.loomwork.error = str(e)
            problems.append(str(e))
            continue
        if only_changed and not render.changed_since_render(
            texture, frame, any_frame=not params.is_animated(texture)
        ):
            continue
        render.schedule(texture, frame)
    return problems


@bpy.app.handlers.persistent
def on_load_post(*_):
    problems = []
    for texture in loomwork_textures():
        found = check_stored(texture)
        texture.loomwork.error = "; ".join(found)
        problems += found
        image = texture.loomwork.image
        # Generated pixels are not saved; packed ones are.
        if not found and image is not None and image.packed_file is None:
            render.schedule(texture)
    report(problems)


@bpy.app.handlers.persistent
def on_render_init(*_):
    _rendering[0] = True


@bpy.app.handlers.persistent
def on_render_done(*_):
    _rendering[0] = False


@bpy.app.handlers.persistent
def on_render_pre(scene, *_):
    # Each frame's pictures before the frame renders, for the frame it is. A texture without
    # keys is the same picture at every frame: it renders again only when it changed.
    problems = []
    frame = scene.frame_current
    for texture in loomwork_textures():
        if not params.is_animated(texture) and not render.changed_since_render(texture, frame, any_frame=True):
            continue
        try:
            render.render_now(texture, frame)
        except render.RenderError as e:
            texture.loomwork.error = str(e)
            problems.append(str(e))
    report(problems)


@bpy.app.handlers.persistent
def on_frame_change(scene, *_):
    if _rendering[0]:
        return
    for texture in loomwork_textures():
        if params.is_animated(texture) and params.layout(texture.loomwork.class_name):
            params.show_values(texture, params.values_at(texture, scene.frame_current))
            render.schedule(texture, scene.frame_current)


@bpy.app.handlers.persistent
def on_undo(*_):
    # Undo brings values back but not the pixels made from them.
    refresh_all(only_changed=True)


HANDLERS = [
    ("load_post", on_load_post),
    ("render_init", on_render_init),
    ("render_complete", on_render_done),
    ("render_cancel", on_render_done),
    ("render_pre", on_render_pre),
    ("frame_change_pre", on_frame_change),
    ("undo_post", on_undo),
    ("redo_post", on_undo),
    ("render_write", stereo.on_render_write),
]


def _register_dynamic():
    groups = params.build_layouts() if module.get() else []
    _dynamic[:] = groups + [props.settings_class(groups)]
    for cls in _dynamic:
        bpy.utils.register_class(cls)
    bpy.types.Texture.loomwork = bpy.props.PointerProperty(type=_dynamic[-1])


def _unregister_dynamic():
    if hasattr(bpy.types.Texture, "loomwork"):
        del bpy.types.Texture.loomwork
    for cls in reversed(_dynamic):
        bpy.utils.unregister_class(cls)
    _dynamic.clear()
    params.clear()


def _preference_folder():
    addon = bpy.context.preferences.addons.get(__package__)
    return addon.preferences.module_folder if addon else ""


def retry_module():
    """After the module folder preference changed: load loomwork if it is not loaded."""
    if module.get() is not None:
        return
    if module.load(bpy.path.abspath(_preference_folder())) is not None:
        _unregister_dynamic()
        _register_dynamic()


def _image_menu(self, context):
    self.layout.operator("image.loomwork_new", icon="TEXTURE")


def register():
    for cls in _static:
        bpy.utils.register_class(cls)
    bpy.types.IMAGE_MT_image.append(_image_menu)
    bpy.types.Scene.loomwork_stereo = bpy.props.PointerProperty(type=props.LOOMWORK_PG_stereo)
    bpy.types.Image.loomwork_texture = bpy.props.PointerProperty(type=bpy.types.Texture, name="Loomwork texture")
    try:
        folder = bpy.path.abspath(_preference_folder())
    except Exception:
        folder = ""
    if module.load(folder) is None:
        print("loomwork:", module.error())
    try:
        _register_dynamic()
    except Exception as e:  # a plug-in that cannot be described leaves the add-on usable
        _unregister_dynamic()
        module._state["error"] = f"loomwork's textures could not be listed ({e})"
        module._state["module"] = None
        _register_dynamic()
    for name, fn in HANDLERS:
        getattr(bpy.app.handlers, name).append(fn)


def unregister():
    for name, fn in HANDLERS:
        handlers = getattr(bpy.app.handlers, name)
        while fn in handlers:
            handlers.remove(fn)
    render.shutdown()
    bpy.types.IMAGE_MT_image.remove(_image_menu)
    _unregister_dynamic()
    del bpy.types.Image.loomwork_texture
    del bpy.types.Scene.loomwork_stereo
    for cls in reversed(_static):
        bpy.utils.unregister_class(cls)
    module.forget_paths()
    messages.clear()
