"""Registration, unregistration and the application handlers.

Everything registered is taken back on unregistration: classes, the properties added to
Blender's types, handlers, timers, the render thread and the folders put on sys.path.
Without loomwork the add-on still registers its preferences and panels, which say how to
install it; Blender starts either way.
"""

import json

import bpy

from . import legacy, module, operators, params, props, render, stereo, store, ui

_static = [props.LOOMWORK_PG_stereo, props.LOOMWORK_AP_preferences, *operators.classes, *ui.classes]
_dynamic = []  # the parameter groups and the settings group made from the plug-ins
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
    """The settings of every loomwork texture image, of every scene."""
    return [item for scene in bpy.data.scenes for item in store.items(scene)
            if item.class_name and item.image is not None]


def check_stored(item):
    """Messages about stored settings the loaded plug-ins cannot render as they were."""
    lay = params.layout(item.class_name)
    if lay is None:
        return [f"{render.label(item)}: no texture class '{item.class_name}' among the loaded plug-ins; "
                "its image keeps its last pixels"]
    if not item.signature or item.signature == lay.signature():
        return []
    try:
        saved = {name: kind for name, kind in json.loads(item.signature)}
    except (ValueError, TypeError):
        saved = {}
    now = {p.name: p.type for _, p in lay.params}
    changes = [f"{n} is new (default)" for n in now if n not in saved]
    changes += [f"{n} is gone" for n in saved if n not in now]
    changes += [f"{n} is now {now[n]}" for n in now if n in saved and saved[n] != now[n]]
    return [f"{render.label(item)} was saved with other parameters of {item.class_name}: "
            f"{'; '.join(changes) or 'another order'}; Render again to accept them"]


def refresh_all(only_changed=False):
    problems = []
    for item in loomwork_textures():
        try:
            render.check(item)
        except render.RenderError as e:
            item.error = str(e)
            problems.append(str(e))
            continue
        if only_changed and not render.changed_since_render(item, any_frame=not store.is_animated(item)):
            continue
        render.schedule(item)
    return problems


@bpy.app.handlers.persistent
def on_load_post(*_):
    render.forget_all()
    scene = bpy.context.scene or (bpy.data.scenes[0] if bpy.data.scenes else None)
    problems = legacy.move_all(bpy.data, scene) if scene is not None else []
    for item in loomwork_textures():
        found = check_stored(item)
        item.error = "; ".join(found)
        problems += found
        # Generated pixels are not saved; packed ones are.
        if not found and item.image is not None and item.image.packed_file is None:
            render.schedule(item)
    report(problems)


@bpy.app.handlers.persistent
def on_frame_change(scene, depsgraph=None):
    """After Blender evaluated a frame: each keyed texture of the scene renders with the
    values the graph evaluated for the frame, in the background for the interface's graph;
    for a render's own graph (F12, Ctrl F12, blender -b -a) at once, before the frame
    renders, and so does a texture without keys that changed since its last picture (it is
    the same picture at every frame)."""
    rendering = depsgraph is not None and depsgraph.mode == "RENDER"
    frame = scene.frame_current
    problems = []
    for item in store.items(scene):
        if not item.class_name or item.image is None:
            continue  # an image deleted by hand leaves nothing to render into
        animated = store.is_animated(item)
        if not (animated or rendering):
            continue  # what the interface changed is already on its way
        try:
            source = store.evaluated(item, depsgraph) if animated and depsgraph is not None else None
            if not render.changed_since_render(item, frame, any_frame=not animated, source=source):
                continue
            if rendering:
                render.render_now(item, frame, source)
            else:
                render.schedule(item, frame, source)
        except render.RenderError as e:
            item.error = str(e)
            problems.append(str(e))
    if rendering:
        report(problems)


@bpy.app.handlers.persistent
def on_undo(*_):
    # Undo brings values back but not the pixels made from them.
    refresh_all(only_changed=True)


HANDLERS = [
    ("load_post", on_load_post),
    ("frame_change_post", on_frame_change),
    ("undo_post", on_undo),
    ("redo_post", on_undo),
    ("render_write", stereo.on_render_write),
]


def _register_dynamic():
    groups = params.build_layouts() if module.get() else []
    _dynamic[:] = groups + [props.settings_class(groups)]
    for cls in _dynamic:
        bpy.utils.register_class(cls)
    setattr(bpy.types.Scene, store.COLLECTION, bpy.props.CollectionProperty(
        type=_dynamic[-1], name="Loomwork textures", description="The settings of the scene's loomwork texture images"))


def _unregister_dynamic():
    if hasattr(bpy.types.Scene, store.COLLECTION):
        delattr(bpy.types.Scene, store.COLLECTION)
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
    del bpy.types.Scene.loomwork_stereo
    for cls in reversed(_static):
        bpy.utils.unregister_class(cls)
    module.forget_paths()
    messages.clear()
