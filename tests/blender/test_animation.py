# A texture keyed on the scene in a 3-frame Cycles render: before each frame renders, its
# image holds loomwork's render for that frame, and the three rendered pictures (an emitting
# plane filling an orthographic camera) differ and show those renders. Blender evaluates the
# keys; a frame change outside renders shows and renders the frame's values.
import os
import sys

import bpy
import numpy as np

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

addon, scratch = harness.install()
import loomwork  # noqa: E402

W, H = 32, 32
scene = bpy.context.scene
for ob in list(bpy.data.objects):
    bpy.data.objects.remove(ob)
assert bpy.ops.image.loomwork_new(texture="nimbra", width=W, height=H, name="clouds") == {"FINISHED"}
image = bpy.data.images["clouds"]
group = addon.store.settings_of(image).p_nimbra
# Keyed as the I key over the property keys it, and by the path from the scene.
group.u_shift = 0.0
group.keyframe_insert("u_shift", frame=1)
group.u_shift = 30.0
scene.keyframe_insert("loomwork_textures[0].p_nimbra.u_shift", frame=3)
curves = scene.animation_data.action.fcurves
assert [(fc.data_path, len(fc.keyframe_points)) for fc in curves] == [("loomwork_textures[0].p_nimbra.u_shift", 2)]
for key in curves[0].keyframe_points:
    key.interpolation = "LINEAR"
# The settings follow the image under another name.
image.name = "sky clouds"

# A plane that fills the camera, emitting the image's texels as they are.
bpy.ops.mesh.primitive_plane_add(size=2.0)
plane = bpy.context.active_object
material = bpy.data.materials.new("clouds")
material.use_nodes = True
nodes = material.node_tree.nodes
nodes.clear()
tex_node = nodes.new("ShaderNodeTexImage")
tex_node.image = image
tex_node.interpolation = "Closest"
emission = nodes.new("ShaderNodeEmission")
out = nodes.new("ShaderNodeOutputMaterial")
material.node_tree.links.new(tex_node.outputs["Color"], emission.inputs["Color"])
material.node_tree.links.new(emission.outputs["Emission"], out.inputs["Surface"])
plane.data.materials.append(material)
bpy.ops.object.camera_add(location=(0, 0, 5))
camera = bpy.context.active_object
camera.data.type = "ORTHO"
camera.data.ortho_scale = 2.0
scene.camera = camera

scene.render.engine = "CYCLES"
scene.cycles.device = "CPU"
scene.cycles.samples = 1
scene.cycles.use_denoising = False
scene.cycles.filter_width = 0.01
scene.render.resolution_x, scene.render.resolution_y = W, H
scene.render.resolution_percentage = 100
scene.view_settings.view_transform = "Raw"
scene.render.dither_intensity = 0.0
scene.view_settings.look = "None"
scene.render.image_settings.file_format = "PNG"
scene.render.image_settings.color_depth = "16"
scene.render.filepath = os.path.join(scratch, "out", "frame_")
scene.frame_start, scene.frame_end = 1, 3

# What the image holds when each frame renders.
seen = {}


def remember(scene, *_):
    seen[scene.frame_current] = harness.image_rgba(image).copy()


bpy.app.handlers.render_post.append(remember)
bpy.ops.render.render(animation=True)
bpy.app.handlers.render_post.remove(remember)

assert sorted(seen) == [1, 2, 3], sorted(seen)
pictures = []
for frame, shift in ((1, 0.0), (2, 15.0), (3, 30.0)):
    ref = loomwork.Texture("nimbra", U_Shift=shift).render(W, H, time=frame)
    assert harness.same_bits(seen[frame], ref), frame
    rendered = loomwork.read_image(scene.render.frame_path(frame=frame))
    # The emission gives the texels as they are, and the Raw view writes them unchanged:
    # the picture is the texture's, to the precision of 16-bit files.
    diff = np.abs(rendered[:, :, :3] - np.clip(ref[:, :, :3], 0, 1))
    assert diff.max() < 1e-3, (frame, diff.max())
    pictures.append(rendered)
assert not np.array_equal(pictures[0], pictures[1]) and not np.array_equal(pictures[1], pictures[2])

# Outside renders a frame change shows the keyed values and renders the image for the frame.
for frame, shift in ((2, 15.0), (3, 30.0), (1, 0.0)):
    scene.frame_set(frame)
    assert group.u_shift == shift, (frame, group.u_shift)
    ref = loomwork.Texture("nimbra", U_Shift=shift).render(W, H, time=frame)
    assert harness.same_bits(harness.image_rgba(image), ref), frame
# An unkeyed value edited between frames renders with the keyed ones.
group.u_scale = 12.0
scene.frame_set(2)
ref = loomwork.Texture("nimbra", U_Shift=15.0, U_Scale=12.0).render(W, H, time=2)
assert harness.same_bits(harness.image_rgba(image), ref)
# A render evaluates the keys itself, as Blender does for every keyed value: after an edit
# of a keyed value that was not keyed, the keyed value renders.
group.u_shift = 99.0
seen.clear()
bpy.app.handlers.render_post.append(remember)
bpy.ops.render.render()
bpy.app.handlers.render_post.remove(remember)
assert harness.same_bits(seen[2], ref)
harness.done("animation")
