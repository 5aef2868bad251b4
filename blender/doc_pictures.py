# Makes the pictures of docs/blender.md with the add-on, headless:
#   LOOMWORK_PYTHONPATH=build/python blender -b --factory-startup --python blender/doc_pictures.py -- docs/images
# (the add-on is enabled from this source folder). Writes blender_textures.png (the four
# texture images), blender_frames.png (a keyed texture at frames 1, 12 and 24),
# blender_scene.jpg (a Cycles render using them) and blender_anaglyph.jpg (its stereo pair
# composed by the add-on).
import os
import sys

import bpy
import numpy as np

out_dir = os.path.abspath(sys.argv[sys.argv.index("--") + 1])
os.makedirs(out_dir, exist_ok=True)
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import loomwork_blender  # noqa: E402

loomwork_blender.register()
import loomwork  # noqa: E402


def rgba_of(image):
    w, h = image.size
    px = np.empty(w * h * 4, dtype=np.float32)
    image.pixels.foreach_get(px)
    return px.reshape(h, w, 4)[::-1]


def strip(images, gap=6):
    h = max(i.shape[0] for i in images)
    row = [np.ones((h, gap, 4), np.float32)]
    for i in images:
        row += [i, np.ones((h, gap, 4), np.float32)]
    return np.clip(np.concatenate(row, axis=1), 0, 1)


S = 192
made = {}
for short, preset in (("nimbra", "Cirrocumulus"), ("voltrane", ""), ("fervix", "Coil Fire"), ("lumidot", "Tartan")):
    bpy.ops.image.loomwork_new(texture=short, width=S, height=S, name=short, preset=preset)
    made[short] = bpy.data.images[short]
arcs = loomwork_blender.store.settings_of(made["voltrane"]).p_voltrane
arcs.linear_horizontal, arcs.diagonal = False, True
arcs.edge_size, arcs.edge_noise, arcs.sweep_phase = 0.05, 8.0, 200
loomwork.write_image(os.path.join(out_dir, "blender_textures.png"), strip([rgba_of(i) for i in made.values()]))

# A keyed texture: the sweep from phase 50 at frame 1 to 200 at frame 24 (keys of the
# scene, which renders the image at each frame it goes to).
scene = bpy.context.scene
arcs.sweep_phase = 50
arcs.keyframe_insert("sweep_phase", frame=1)
arcs.sweep_phase = 200
arcs.keyframe_insert("sweep_phase", frame=24)
frames = []
for f in (1, 12, 24):
    scene.frame_set(f)
    frames.append(rgba_of(made["voltrane"]).copy())
loomwork.write_image(os.path.join(out_dir, "blender_frames.png"), strip(frames))
scene.animation_data_clear()
arcs.sweep_phase = 200
scene.frame_set(1)


def material(name, image, emission=False):
    m = bpy.data.materials.new(name)
    m.use_nodes = True
    nt = m.node_tree
    tex = nt.nodes.new("ShaderNodeTexImage")
    tex.image = image
    if emission:
        nt.nodes.remove(nt.nodes["Principled BSDF"])
        em = nt.nodes.new("ShaderNodeEmission")
        nt.links.new(tex.outputs["Color"], em.inputs["Color"])
        nt.links.new(em.outputs["Emission"], nt.nodes["Material Output"].inputs["Surface"])
    else:
        nt.links.new(tex.outputs["Color"], nt.nodes["Principled BSDF"].inputs["Base Color"])
    return m


cube = bpy.data.objects["Cube"]
cube.data.materials.clear()
cube.data.materials.append(material("skin", made["voltrane"]))
cube.rotation_euler = (0.3, 0.2, 0.6)
bpy.ops.mesh.primitive_uv_sphere_add(radius=0.9, location=(2.3, 0.3, 0.1))
bpy.context.active_object.data.materials.append(material("dots", made["lumidot"]))
bpy.ops.object.shade_smooth()
bpy.ops.mesh.primitive_plane_add(size=14, location=(0, 0, -1.1))
bpy.context.active_object.data.materials.append(material("floor", made["fervix"]))
world = scene.world
world.use_nodes = True
bg = world.node_tree.nodes["Background"]
env = world.node_tree.nodes.new("ShaderNodeTexEnvironment")
env.image = made["nimbra"]
world.node_tree.links.new(env.outputs["Color"], bg.inputs["Color"])
cam = bpy.data.objects["Camera"]
cam.location = (6.5, -6.0, 3.6)
cam.rotation_euler = (1.18, 0.0, 0.86)

scene.render.engine = "CYCLES"
scene.cycles.device = "CPU"
scene.cycles.samples = 16
scene.cycles.use_denoising = False
scene.render.resolution_x, scene.render.resolution_y = 480, 270
scene.render.resolution_percentage = 100
scene.view_settings.view_transform = "Standard"
scene.render.image_settings.file_format = "PNG"
tmp = os.path.join(out_dir, "render_tmp")
scene.render.filepath = os.path.join(tmp, "scene.png")
bpy.ops.render.render(write_still=True)
loomwork.write_image(os.path.join(out_dir, "blender_scene.jpg"), loomwork.read_image(scene.render.filepath))

# The same scene in stereo, composed into a red-cyan anaglyph by the add-on.
scene.render.use_multiview = True
scene.render.views_format = "STEREO_3D"
scene.render.image_settings.views_format = "INDIVIDUAL"
scene.render.image_settings.color_depth = "16"
cam.data.stereo.interocular_distance = 0.25
cam.data.stereo.convergence_distance = 9.0
scene.loomwork_stereo.enabled = True
scene.loomwork_stereo.method = "dubois"
scene.render.filepath = os.path.join(tmp, "pair")
bpy.ops.render.render(write_still=True)
pair = scene.render.filepath + scene.loomwork_stereo.suffix + ".png"
anaglyph = loomwork.read_image(pair, dtype="uint16")
loomwork.write_image(os.path.join(out_dir, "blender_anaglyph.jpg"), (anaglyph >> 8).astype(np.uint8))
for f in os.listdir(tmp):
    os.remove(os.path.join(tmp, f))
os.rmdir(tmp)
loomwork_blender.unregister()
print("pictures in", out_dir)
