"""Where a texture image's settings are: an item of a scene's `loomwork_textures`.

Each item points to its image and holds the class, the size and the class's parameters, so
that the keys of those parameters are the scene's keys, which Blender evaluates itself (an
image cannot be keyed). An image belongs to the scene it was made in; other scenes find its
settings there. Items are found by their pointer to the image, so a renamed image keeps
them.
"""

import re

import bpy

COLLECTION = "loomwork_textures"
_INDEX = re.compile(r"^" + COLLECTION + r"\[(\d+)\]")


def items(scene):
    """The scene's texture settings, [] when the add-on's property is not registered."""
    return list(getattr(scene, COLLECTION, ()))


def scenes_first(scene=None):
    """Every scene, the given (or the context's) one first."""
    first = scene if scene is not None else getattr(bpy.context, "scene", None)
    rest = [s for s in bpy.data.scenes if s != first]
    return ([first] if first is not None else []) + rest


def settings_of(image, scene=None):
    """The settings of a loomwork image (searched in `scene` first, then in every scene), or
    None for any other image."""
    if image is None:
        return None
    for s in scenes_first(scene):
        for item in items(s):
            if item.image == image and item.class_name:
                return item
    return None


def index_of(item):
    """The item's position in its scene's collection (the key paths name it)."""
    match = _INDEX.match(item.path_from_id())
    return int(match.group(1)) if match else -1


def settings_owning(group):
    """The item a parameter group (or an item's own setting) belongs to."""
    scene = group.id_data
    match = _INDEX.match(group.path_from_id())
    collection = getattr(scene, COLLECTION, None)
    if match is None or collection is None or int(match.group(1)) >= len(collection):
        return None
    return collection[int(match.group(1))]


def image_key(image):
    """Identifies an image for the renderer for as long as it exists, whatever its name."""
    return image.as_pointer()


def find_image(key):
    for image in bpy.data.images:
        if image.as_pointer() == key:
            return image
    return None


def is_animated(item):
    """True when keys or drivers of the item's scene set any of the item's values."""
    ad = item.id_data.animation_data
    if ad is None:
        return False
    prefix = f"{COLLECTION}[{index_of(item)}]."
    curves = list(ad.action.fcurves) if ad.action else []
    curves += list(ad.drivers)
    for track in ad.nla_tracks:
        for strip in track.strips:
            if strip.action:
                curves += list(strip.action.fcurves)
    return any(fc.data_path.startswith(prefix) for fc in curves)


def evaluated(item, depsgraph):
    """The item as `depsgraph` evaluated it (its keys applied at the depsgraph's frame)."""
    scene_eval = item.id_data.evaluated_get(depsgraph)
    return getattr(scene_eval, COLLECTION)[index_of(item)]
