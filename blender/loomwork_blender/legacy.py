"""Files saved by add-on versions that kept a texture's settings on a texture datablock.

Those versions stored the settings as the `loomwork` group of a texture datablock (an Image
texture of the image, which pointed back to it as `loomwork_texture`) and the keys in the
texture's action, under `loomwork.` paths. On loading such a file the settings become items of
the scene's `loomwork_textures` and the keys move to the scene's action under the items'
paths; the old properties go, and so does the texture datablock when nothing else uses it.
What cannot be moved (drivers, F-curve modifiers, NLA strips) is reported; loading goes on.
"""

import bpy

from . import store

OLD_GROUP = "loomwork"
OLD_BACK_POINTER = "loomwork_texture"
OLD_PREFIX = "loomwork."

_POINT_KINDS = ("interpolation", "easing", "handle_left_type", "handle_right_type", "type",
                "back", "amplitude", "period")
_POINT_PLACES = ("co", "handle_left", "handle_right")


def old_textures(data):
    """The texture datablocks that hold settings in the old layout."""
    found = []
    for texture in data.textures:
        raw = texture.get(OLD_GROUP)
        if hasattr(raw, "to_dict") and raw.get("class_name"):
            found.append(texture)
    return found


def _plain(value):
    """An ID property's value as Python data, which ID properties can be set from."""
    if hasattr(value, "to_dict"):
        return value.to_dict()
    if hasattr(value, "to_list"):
        return value.to_list()
    return value


def _copy_curve(old, action, path, group_name):
    new = action.fcurves.new(path, index=old.array_index, action_group=group_name)
    new.keyframe_points.add(len(old.keyframe_points))
    for a, b in zip(old.keyframe_points, new.keyframe_points):
        for name in _POINT_KINDS:  # the handle types first: setting them moves the handles
            setattr(b, name, getattr(a, name))
        for name in _POINT_PLACES:
            setattr(b, name, getattr(a, name))
    new.extrapolation = old.extrapolation
    new.mute = old.mute
    new.update()
    return new


def _move_keys(texture, scene, index, name, problems):
    """Moves the texture's keys of loomwork settings to the scene's action; returns how many
    curves moved."""
    ad = texture.animation_data
    if ad is None:
        return 0
    if any(d.data_path.startswith(OLD_PREFIX) for d in ad.drivers):
        problems.append(f"'{name}': its drivers were not moved; add them again on scene '{scene.name}'")
    if len(ad.nla_tracks):
        problems.append(f"'{name}': its NLA strips were not moved; key the scene's texture settings instead")
    old_action = ad.action
    if old_action is None:
        return 0
    curves = [fc for fc in old_action.fcurves if fc.data_path.startswith(OLD_PREFIX)]
    if not curves:
        return 0
    sad = scene.animation_data or scene.animation_data_create()
    if sad.action is None:
        sad.action = bpy.data.actions.new(scene.name + "Action")
    prefix = f"{store.COLLECTION}[{index}]."
    for fc in curves:
        path = prefix + fc.data_path[len(OLD_PREFIX):]
        if sad.action.fcurves.find(path, index=fc.array_index) is not None:
            problems.append(f"'{name}': scene '{scene.name}' already has keys of {path}; the old ones were not moved")
            continue
        if len(fc.modifiers):
            problems.append(f"'{name}': the modifiers of the keys of {fc.data_path} were not moved")
        _copy_curve(fc, sad.action, path, name)
    if old_action.users == 1:  # the texture's own: its moved curves go
        for fc in curves:
            old_action.fcurves.remove(fc)
        if not len(old_action.fcurves):
            texture.animation_data_clear()
    return len(curves)


def move(texture, scene, problems):
    """Moves one texture's settings (and keys) to an item of the scene; returns the item."""
    raw = texture[OLD_GROUP]
    image = raw.get("image")
    if image is None and texture.type == "IMAGE":
        image = texture.image
    # Checked before anything changes, so that a failure leaves the file as it was.
    if image is None:
        raise ValueError("it has no image")
    if not isinstance(image, bpy.types.Image):
        raise ValueError(f"its image is a {type(image).__name__}, not an image")
    name = image.name
    collection = getattr(scene, store.COLLECTION)
    item = collection.add()
    index = len(collection) - 1
    for key, value in raw.items():
        if key != "image":
            item[key] = _plain(value)
    item.image = image
    item.name = name
    keys = _move_keys(texture, scene, index, name, problems)
    del texture[OLD_GROUP]
    if OLD_BACK_POINTER in image:
        del image[OLD_BACK_POINTER]
    return item, keys


def move_all(data, scene):
    """Moves every old-layout texture of the file to `scene`; returns the messages to show."""
    moved, keyed, problems = [], 0, []
    for texture in old_textures(data):
        try:
            item, keys = move(texture, scene, problems)
        except Exception as e:  # reported; the file loads all the same
            problems.append(f"The loomwork texture '{texture.name}' of an earlier add-on version could not be "
                            f"moved to the scene ({e}); make it again with New Loomwork Texture")
            continue
        moved.append(item.name)
        keyed += keys
        if texture.users == 0:
            data.textures.remove(texture)
    if not moved:
        return problems
    keys = f", with the keys of {keyed} value{'s' if keyed != 1 else ''}" if keyed else ""
    return [f"Moved the settings of {len(moved)} loomwork texture{'s' if len(moved) != 1 else ''} ({', '.join(moved)}) from texture "
            f"datablocks of an earlier add-on version to scene '{scene.name}'{keys}"] + problems
