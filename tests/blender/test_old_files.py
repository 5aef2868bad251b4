# A file saved when the settings lived on texture datablocks (the texture's `loomwork` group,
# the image's `loomwork_texture` pointer, keys in the texture's action under `loomwork.`)
# loads with its settings and keys moved to the scene: the keyed image renders each frame's
# values, the old properties and the texture datablock are gone, what cannot be moved is
# reported, and a texture that cannot be moved at all does not stop the file loading.
import os
import sys

import bpy

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

addon, scratch = harness.install()
import loomwork  # noqa: E402

W, H = 24, 16
registration = addon.registration


def old_texture(name, class_name, values):
    """An image and its texture datablock as the earlier add-on stored them."""
    image = bpy.data.images.new(name, W, H, alpha=True, float_buffer=True)
    texture = bpy.data.textures.new(name, type="IMAGE")
    texture.image = image
    texture["loomwork"] = {"class_name": class_name, "image": image, "width": W, "height": H,
                           "seed": 0, "tile": 0, "tiles_x": 1, "tiles_y": 1,
                           "signature": addon.params.layout(class_name).signature(),
                           "error": "", "p_" + class_name: values}
    image["loomwork_texture"] = texture
    return image, texture


# A keyed texture, with a key of another property of the texture datablock that stays there.
sky, sky_tex = old_texture("sky", "nimbra", {"u_scale": 40.0, "sky": [0.1, 0.5, 0.2]})
action = bpy.data.actions.new("skyAction")
sky_tex.animation_data_create().action = action
shift = action.fcurves.new("loomwork.p_nimbra.u_shift", action_group="sky")
for frame, value in ((1, 0.0), (3, 30.0)):
    shift.keyframe_points.insert(frame, value).interpolation = "LINEAR"
action.fcurves.new("intensity").keyframe_points.insert(1, 0.5)
# Unkeyed, with a driver that cannot move, and used by a material besides its image.
dots, dots_tex = old_texture("dots", "lumidot", {})
driver = dots_tex.animation_data_create().drivers.new("loomwork.p_lumidot.contrast")
driver.driver.expression = "1.0"
dots_tex.use_fake_user = True
# Old settings that point to no image: reported, not moved.
bad = bpy.data.textures.new("bad", type="IMAGE")
bad.use_fake_user = True
bad["loomwork"] = {"class_name": "nimbra", "image": "not an image"}
lost = bpy.data.textures.new("lost", type="WOOD")
lost["loomwork"] = {"class_name": "fervix"}
lost.use_fake_user = True
blend = os.path.join(scratch, "old.blend")
bpy.ops.wm.save_as_mainfile(filepath=blend)

registration.messages.clear()
bpy.ops.wm.open_mainfile(filepath=blend)
scene = bpy.context.scene
text = " | ".join(registration.messages)
assert "Moved the settings of 2 loomwork textures (dots, sky)" in text and "the keys of 1 value" in text, text
assert "'dots': its drivers were not moved" in text, text
assert "'bad'" in text and "its image is a str" in text and "make it again" in text, text
assert "'lost'" in text and "it has no image" in text, text

sky, dots = bpy.data.images["sky"], bpy.data.images["dots"]
items = scene.loomwork_textures  # in the order of the texture datablocks' names
assert [(i.image, i.class_name) for i in items] == [(dots, "lumidot"), (sky, "nimbra")]
group = items[1].p_nimbra
assert abs(group.u_scale - 40.0) < 1e-6 and tuple(round(c, 6) for c in group.sky) == (0.1, 0.5, 0.2)
assert not items[0].error and not items[1].error, (items[0].error, items[1].error)
# The old properties are gone, and so is the texture datablock nothing else used; the one
# with another user stays. The one that could not be moved is left as it was.
for image in (sky, dots):
    assert "loomwork_texture" not in image.keys()
assert "sky" not in bpy.data.textures and "loomwork" not in bpy.data.textures["dots"].keys()
assert bpy.data.textures["bad"]["loomwork"]["class_name"] == "nimbra"
assert bpy.data.textures["lost"]["loomwork"]["class_name"] == "fervix"

# The keys are the scene's now, and Blender's evaluation of them renders each frame.
curves = scene.animation_data.action.fcurves
assert [(fc.data_path, fc.group.name) for fc in curves] == [("loomwork_textures[1].p_nimbra.u_shift", "sky")]
for frame, u_shift in ((2, 15.0), (3, 30.0), (1, 0.0)):
    scene.frame_set(frame)
    ref = loomwork.Texture("nimbra", **{"U Scale": 40.0, "Sky": (0.1, 0.5, 0.2), "U Shift": u_shift})
    assert abs(group.u_shift - u_shift) < 1e-6, (frame, group.u_shift)
    assert harness.same_bits(harness.image_rgba(sky), ref.render(W, H, time=frame)), frame
assert harness.same_bits(harness.image_rgba(dots), loomwork.Texture("lumidot").render(W, H, time=1))

# Saved again, the file is of the new layout: nothing is moved a second time, and only what
# could not be moved is said again.
bpy.ops.wm.save_as_mainfile(filepath=blend)
registration.messages.clear()
bpy.ops.wm.open_mainfile(filepath=blend)
assert len(registration.messages) == 2 and "'bad'" in registration.messages[0], registration.messages
assert len(bpy.context.scene.loomwork_textures) == 2
harness.done("old files")
