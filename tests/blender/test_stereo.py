# A stereo render with the anaglyph on: the add-on writes beside the two views the
# anaglyph loomwork.anaglyph makes of them, with the scene's eyes and compensations; the
# colour methods compose the same files as loomwork does.
import os
import sys

import bpy

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

addon, scratch = harness.install()
import loomwork  # noqa: E402

scene = bpy.context.scene
scene.render.engine = "CYCLES"
scene.cycles.device = "CPU"
scene.cycles.samples = 2
scene.cycles.use_denoising = False
scene.render.resolution_x, scene.render.resolution_y = 40, 24
scene.render.resolution_percentage = 100
scene.render.use_multiview = True
scene.render.views_format = "STEREO_3D"
scene.render.image_settings.views_format = "INDIVIDUAL"
scene.render.image_settings.file_format = "PNG"
scene.render.image_settings.color_depth = "16"
scene.render.filepath = os.path.join(scratch, "out", "pair_")
scene.frame_start = scene.frame_end = 1
bpy.context.scene.camera.data.stereo.interocular_distance = 0.3
# The default cube, textured so that the views differ visibly.
assert bpy.ops.image.loomwork_new(texture="voltrane", width=32, height=32, name="skin") == {"FINISHED"}
material = bpy.data.materials["Material"]
nodes = material.node_tree.nodes
tex_node = nodes.new("ShaderNodeTexImage")
tex_node.image = bpy.data.images["skin"]
material.node_tree.links.new(tex_node.outputs["Color"], nodes["Principled BSDF"].inputs["Base Color"])

st = scene.loomwork_stereo
st.enabled = True
st.left_eye, st.right_eye, st.left_comp, st.right_comp = "green", "blue", -0.3, -0.05
bpy.ops.render.render(animation=True)
assert not st.last_error, st.last_error

left, right = scene.render.frame_path(frame=1, view="left"), scene.render.frame_path(frame=1, view="right")
made = os.path.join(scratch, "out", "pair_0001_anaglyph.png")
assert os.path.isfile(made), os.listdir(os.path.join(scratch, "out"))
l, r = loomwork.read_image(left, dtype="uint16"), loomwork.read_image(right, dtype="uint16")
assert not harness.same_bits(l, r)
ref = loomwork.anaglyph(l, r, left_eye="green", right_eye="blue", left_comp=-0.3, right_comp=-0.05)
got = loomwork.read_image(made, dtype="uint16")
assert harness.same_bits(got[:, :, : ref.shape[2]], ref)
assert not harness.same_bits(ref, loomwork.anaglyph(l, r))

# A colour method, composed from the same files.
st.method, st.glasses = "dubois", "amber-blue"
out = addon.stereo.compose(scene, 1)
ref = loomwork.anaglyph(l, r, method="dubois", glasses="amber-blue")
assert harness.same_bits(loomwork.read_image(out, dtype="uint16")[:, :, : ref.shape[2]], ref)

# Views written in one file cannot be composed: reported, and the render goes on.
scene.render.image_settings.views_format = "STEREO_3D"
scene.render.filepath = os.path.join(scratch, "out", "sbs_")
bpy.ops.render.render(animation=True)
assert "individual files" in st.last_error, st.last_error
assert any("Anaglyph not written" in m for m in addon.registration.messages)
harness.done("stereo")
