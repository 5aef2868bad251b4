"""Loomwork textures as live Blender images, and anaglyphs of stereo renders.

Image Editor > Sidebar > Loomwork (or Image > New Loomwork Texture, or the operator
image.loomwork_new) makes a float image rendered by a loomwork texture; its settings are
kept on the scene (scene.loomwork_textures), as Blender properties the scene can key, and
each frame of a render renders the image for that frame first. With stereoscopy on, Output
properties > Loomwork Anaglyph composes each written stereo frame into an anaglyph. Needs the
loomwork Python module (see the add-on's preferences).
"""

bl_info = {
    "name": "Loomwork Textures",
    "author": "loomwork",
    "version": (1, 1, 0),
    "blender": (3, 4, 0),
    "location": "Image Editor and Shader Editor > Sidebar > Loomwork; Output Properties",
    "description": "Procedural loomwork textures as live images; anaglyphs of stereo renders",
    "category": "Render",
}

from . import registration  # noqa: E402


def register():
    registration.register()


def unregister():
    registration.unregister()
