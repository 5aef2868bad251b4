# The add-on's texture images: every class's image holds loomwork's render, parameter
# changes and panel buttons re-render it (in the background: coarse, then full), settings
# survive saving and loading, bad input is reported and leaves the scene usable, and
# disabling the add-on leaves nothing behind.
import os
import sys

import bpy
import numpy as np

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

addon, scratch = harness.install()
import loomwork  # noqa: E402  (put on the path by the add-on)

registration = addon.registration
settings_of = addon.store.settings_of
W, H = 48, 32

# Every texture class, its image equal to loomwork's render of a new texture of the class.
shorts = sorted(c.short_name for c in loomwork.classes() if c.kind == "texture")
assert len(shorts) >= 4, shorts
bpy.context.scene.frame_set(5)
for short in shorts:
    assert bpy.ops.image.loomwork_new(texture=short, width=W, height=H, name=f"t_{short}") == {"FINISHED"}
    image = bpy.data.images[f"t_{short}"]
    assert image.is_float and tuple(image.size) == (W, H)
    ref = loomwork.Texture(short).render(W, H, time=5)
    assert harness.same_bits(harness.image_rgba(image), ref), short
    # Every parameter of the class is a property with the texture's default.
    group = getattr(settings_of(image), "p_" + short)
    for ident, p in addon.params.layout(short).params:
        value = getattr(group, ident)
        value = tuple(value) if p.type == "color" else value
        assert value == (bool(p.default) if isinstance(value, bool) else p.default), (short, p.name, value)

# A parameter change re-renders; the image equals loomwork's texture with that value.
image = bpy.data.images["t_nimbra"]
group = settings_of(image).p_nimbra
group.u_scale = 40.0
group.sky = (0.1, 0.5, 0.2)
ref = loomwork.Texture("nimbra", **{"U Scale": 40.0, "Sky": (0.1, 0.5, 0.2)}).render(W, H, time=5)
assert harness.same_bits(harness.image_rgba(image), ref)
# The settings are the scene's, one item per image, found by the image whatever its name.
scene = bpy.context.scene
assert [item.image.name for item in scene.loomwork_textures] == [f"t_{s}" for s in shorts]
image.name = "renamed"
group.u_scale = 41.0
assert settings_of(image).p_nimbra == group
assert harness.same_bits(
    harness.image_rgba(image), loomwork.Texture("nimbra", **{"U Scale": 41.0, "Sky": (0.1, 0.5, 0.2)}).render(W, H, time=5)
)
image.name = "t_nimbra"
group.u_scale = 40.0
# Soft ranges come from the panel's controls.
u_scale = group.bl_rna.properties["u_scale"]
assert (u_scale.soft_min, u_scale.soft_max) == (0.0, 100.0), (u_scale.soft_min, u_scale.soft_max)

# The seed and tile settings render as loomhost render --seed, --tile and --tiles do.
fervix = settings_of(bpy.data.images["t_fervix"])
fervix.seed, fervix.tile = 7, True
assert harness.same_bits(harness.image_rgba(fervix.image), loomwork.Texture("fervix").render(W, H, time=5, seed=7, tile=True))
fervix.tiles_x, fervix.tiles_y = 2, 4
quarter = loomwork.Texture("fervix").render(W // 2, H // 4, time=5, seed=7, tile=True)
assert harness.same_bits(harness.image_rgba(fervix.image), np.tile(quarter, (4, 2, 1)))
fervix.tiles_x = 5  # 48 pixels hold no 5 tiles: said, the image kept
assert "whole tiles" in fervix.error, fervix.error
fervix.seed, fervix.tile, fervix.tiles_x, fervix.tiles_y = 0, False, 1, 1
assert harness.same_bits(harness.image_rgba(fervix.image), loomwork.Texture("fervix").render(W, H, time=5))

# A panel button sets what loomwork's preset sets.
buttons = addon.params.layout("nimbra").buttons
assert "Martian" in buttons, buttons
assert bpy.ops.image.loomwork_preset(button="Martian", image="t_nimbra") == {"FINISHED"}
ref_tex = loomwork.Texture("nimbra", **{"U Scale": 40.0, "Sky": (0.1, 0.5, 0.2)})
ref_tex.preset("Martian")
assert harness.same_bits(harness.image_rgba(image), ref_tex.render(W, H, time=5))

# In the interface the worker renders: a coarse picture first, then the full one.
worker = addon.render.worker()
big = settings_of(image)
big.width, big.height = 256, 160  # renders now (no window)
worker.submit(addon.render.job_of(big, 5))
assert worker.wait_idle(60)
addon.render.apply_results()
assert [(w, final) for _, w, final in worker.applied] == [(32, False), (256, True)], worker.applied
assert harness.same_bits(harness.image_rgba(image), ref_tex.render(256, 160, time=5))
big.width, big.height = W, H

# Saved and loaded: settings restored; generated pixels made again, packed ones kept.
bpy.data.images["t_voltrane"].pack()
blend = os.path.join(scratch, "textures.blend")
bpy.ops.wm.save_as_mainfile(filepath=blend)
bpy.ops.wm.open_mainfile(filepath=blend)
image = bpy.data.images["t_nimbra"]
assert abs(settings_of(image).p_nimbra.u_scale - ref_tex["U Scale"]) < 1e-6
assert harness.same_bits(harness.image_rgba(image), ref_tex.render(W, H, time=5))
packed = bpy.data.images["t_voltrane"]
assert packed.packed_file is not None
assert harness.same_bits(harness.image_rgba(packed), loomwork.Texture("voltrane").render(W, H, time=5))
assert registration.messages == [], registration.messages

# Bad input: an unknown class, an empty size, a button the panel lacks.
harness.expect_refused(lambda: bpy.ops.image.loomwork_new(texture="nosuch"), "No texture class 'nosuch'", "nimbra")
harness.expect_refused(lambda: bpy.ops.image.loomwork_new(texture="fervix", width=0), "size 0 x 512")
harness.expect_refused(lambda: bpy.ops.image.loomwork_preset(button="Nope", image="t_nimbra"), "Nope")
fervix = settings_of(bpy.data.images["t_fervix"])
before = harness.image_rgba(fervix.image).copy()
fervix.width = 0
assert "empty" in fervix.error
assert harness.same_bits(harness.image_rgba(fervix.image), before)
fervix.width = W

# A file whose texture's plug-in is gone, and one saved with another parameter list.
settings_of(bpy.data.images["t_lumidot"]).class_name = "retired"
settings_of(bpy.data.images["t_nimbra"]).signature = '[["Cloud", "color"], ["Old Knob", "float"]]'
bpy.ops.wm.save_as_mainfile(filepath=blend)
registration.messages.clear()
bpy.ops.wm.open_mainfile(filepath=blend)
text = " | ".join(registration.messages)
assert "no texture class 'retired'" in text and "Old Knob is gone" in text and "Contrast is new" in text, text
assert settings_of(bpy.data.images["t_lumidot"]).error
# The scene stays usable: the other textures render, rendering the scene reports and goes on.
assert bpy.ops.image.loomwork_render(image="t_voltrane") == {"FINISHED"}
harness.expect_refused(lambda: bpy.ops.image.loomwork_render(image="t_lumidot"), "retired")
assert bpy.ops.image.loomwork_render(image="t_nimbra") == {"FINISHED"}
assert settings_of(bpy.data.images["t_nimbra"]).signature == addon.params.layout("nimbra").signature()

# Undo brings back values but not pixels: the undo handler renders what changed. (Blender
# without a window has no undo; the values are put back as undo puts them, quietly.)
tex = settings_of(bpy.data.images["t_fervix"])
start = harness.image_rgba(tex.image).copy()
saved = dict(addon.params.values_of(tex))
bpy.ops.image.loomwork_preset(button=addon.params.layout("fervix").buttons[1], image="t_fervix")
assert not harness.same_bits(harness.image_rgba(tex.image), start)
with addon.params.Quiet():
    group = tex.p_fervix
    for ident, p in addon.params.layout("fervix").params:
        value = saved[p.name]
        setattr(group, ident, bool(value) if isinstance(getattr(group, ident), bool) else value)
registration.on_undo(bpy.context.scene)
assert harness.same_bits(harness.image_rgba(tex.image), start)

# The sidebar panels draw every parameter of the editor's texture (a window-less Blender
# draws no panels: a layout that records what is drawn stands in for Blender's).
class Layout:
    active = True

    def __init__(self):
        self.drawn = []

    def row(self, **_):
        return self

    column = row

    def label(self, text="", **_):
        self.drawn.append(("label", text))

    def prop(self, data, name, **_):
        getattr(data, name)  # fails for a property that is not there
        self.drawn.append(("prop", name))

    def operator(self, idname, **_):
        self.drawn.append(("operator", idname))
        return type("Properties", (), {})()

    def menu(self, idname, **_):
        self.drawn.append(("menu", idname))


class Space:
    type = "IMAGE_EDITOR"
    image = bpy.data.images["t_nimbra"]


context = type("Context", (), {"space_data": Space(), "scene": bpy.context.scene})()
layout = Layout()
addon.ui.draw_texture(layout, context)
props = [n for kind, n in layout.drawn if kind == "prop"]
settings = ["width", "height", "seed", "tile", "tiles_x", "tiles_y"]
assert props == settings + [i for i, _ in addon.params.layout("nimbra").params], props
assert ("menu", "LOOMWORK_MT_buttons") in layout.drawn
Space.image = bpy.data.images["t_lumidot"]  # its class is gone: said so, no parameters
layout = Layout()
addon.ui.draw_texture(layout, context)
assert ("label", "retired (not loaded)") in layout.drawn and not [k for k, n in layout.drawn if k == "prop" and n not in settings]
# Another scene shows the image's settings where they are: in the scene that made it.
# A texture made in that scene is its own.
scene = bpy.context.scene  # the loaded file's
other = bpy.data.scenes.new("Other")
context.scene = other
Space.image = bpy.data.images["t_nimbra"]
layout = Layout()
addon.ui.draw_texture(layout, context)
assert ("label", "Settings and keys in scene 'Scene'") in layout.drawn, layout.drawn
assert ("prop", "u_scale") in layout.drawn
with bpy.context.temp_override(scene=other):
    assert bpy.ops.image.loomwork_new(texture="fervix", width=8, height=8, name="other_fervix") == {"FINISHED"}
made_here = bpy.data.images["other_fervix"]
assert settings_of(made_here).id_data == other and settings_of(made_here, scene).id_data == other
assert [i.image for i in other.loomwork_textures] == [made_here]
assert made_here not in [i.image for i in scene.loomwork_textures]
# An image deleted by hand leaves its item without an image: skipped, never reported.
bpy.data.images.remove(made_here)
assert other.loomwork_textures[0].image is None and other.loomwork_textures[0].class_name == "fervix"
assert not [p for p in registration.refresh_all() if "Other" in p], registration.refresh_all()
context.scene = scene
layout = Layout()
addon.ui.LOOMWORK_PT_stereo.draw(type("Panel", (), {"layout": layout})(), context)
assert ("prop", "left_eye") in layout.drawn

# Disabled, the add-on leaves nothing behind.
bpy.ops.preferences.addon_disable(module=harness.ADDON)
for owner, attr in ((bpy.types.Scene, "loomwork_textures"), (bpy.types.Scene, "loomwork_stereo")):
    assert not hasattr(owner, attr), attr
assert not [n for n in dir(bpy.types) if "LOOMWORK" in n or "loomwork" in n], dir(bpy.types)
assert not hasattr(bpy.ops.image, "loomwork_new") or "loomwork_new" not in dir(bpy.ops.image)
for name in ("load_post", "render_write", "frame_change_post", "undo_post"):
    assert not [h for h in getattr(bpy.app.handlers, name) if h.__module__.startswith(harness.ADDON)], name
assert not [p for p in sys.path if "build/python" in p and p not in os.environ.get("PYTHONPATH", "")]
assert not addon.render.worker()._thread
harness.done("textures")
