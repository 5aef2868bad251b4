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
    texture = image.loomwork_texture
    group = getattr(texture.loomwork, "p_" + short)
    for ident, p in addon.params.layout(short).params:
        value = getattr(group, ident)
        value = tuple(value) if p.type == "color" else value
        assert value == (bool(p.default) if isinstance(value, bool) else p.default), (short, p.name, value)

# A parameter change re-renders; the image equals loomwork's texture with that value.
image = bpy.data.images["t_nimbra"]
group = image.loomwork_texture.loomwork.p_nimbra
group.u_scale = 40.0
group.sky = (0.1, 0.5, 0.2)
ref = loomwork.Texture("nimbra", **{"U Scale": 40.0, "Sky": (0.1, 0.5, 0.2)}).render(W, H, time=5)
assert harness.same_bits(harness.image_rgba(image), ref)
# Soft ranges come from the panel's controls.
u_scale = group.bl_rna.properties["u_scale"]
assert (u_scale.soft_min, u_scale.soft_max) == (0.0, 100.0), (u_scale.soft_min, u_scale.soft_max)

# The seed and tile settings render as loomhost render --seed, --tile and --tiles do.
fervix = bpy.data.images["t_fervix"].loomwork_texture.loomwork
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
big = image.loomwork_texture
big.loomwork.width, big.loomwork.height = 256, 160  # renders now (no window)
worker.submit(addon.render.job_of(big, 5))
assert worker.wait_idle(60)
addon.render.apply_results()
assert [(w, final) for _, w, final in worker.applied] == [(32, False), (256, True)], worker.applied
assert harness.same_bits(harness.image_rgba(image), ref_tex.render(256, 160, time=5))
big.loomwork.width, big.loomwork.height = W, H

# Saved and loaded: settings restored; generated pixels made again, packed ones kept.
bpy.data.images["t_voltrane"].pack()
blend = os.path.join(scratch, "textures.blend")
bpy.ops.wm.save_as_mainfile(filepath=blend)
bpy.ops.wm.open_mainfile(filepath=blend)
image = bpy.data.images["t_nimbra"]
assert abs(image.loomwork_texture.loomwork.p_nimbra.u_scale - ref_tex["U Scale"]) < 1e-6
assert harness.same_bits(harness.image_rgba(image), ref_tex.render(W, H, time=5))
packed = bpy.data.images["t_voltrane"]
assert packed.packed_file is not None
assert harness.same_bits(harness.image_rgba(packed), loomwork.Texture("voltrane").render(W, H, time=5))
assert registration.messages == [], registration.messages

# Bad input: an unknown class, an empty size, a button the panel lacks.
harness.expect_refused(lambda: bpy.ops.image.loomwork_new(texture="nosuch"), "No texture class 'nosuch'", "nimbra")
harness.expect_refused(lambda: bpy.ops.image.loomwork_new(texture="fervix", width=0), "size 0 x 512")
harness.expect_refused(lambda: bpy.ops.image.loomwork_preset(button="Nope", image="t_nimbra"), "Nope")
fervix = bpy.data.images["t_fervix"].loomwork_texture
before = harness.image_rgba(fervix.loomwork.image).copy()
fervix.loomwork.width = 0
assert "empty" in fervix.loomwork.error
assert harness.same_bits(harness.image_rgba(fervix.loomwork.image), before)
fervix.loomwork.width = W

# A file whose texture's plug-in is gone, and one saved with another parameter list.
lumidot = bpy.data.images["t_lumidot"].loomwork_texture
lumidot.loomwork.class_name = "retired"
nimbra = bpy.data.images["t_nimbra"].loomwork_texture
nimbra.loomwork.signature = '[["Cloud", "color"], ["Old Knob", "float"]]'
bpy.ops.wm.save_as_mainfile(filepath=blend)
registration.messages.clear()
bpy.ops.wm.open_mainfile(filepath=blend)
text = " | ".join(registration.messages)
assert "no texture class 'retired'" in text and "Old Knob is gone" in text and "Contrast is new" in text, text
assert bpy.data.textures["t_lumidot"].loomwork.error
# The scene stays usable: the other textures render, rendering the scene reports and goes on.
assert bpy.ops.image.loomwork_render(image="t_voltrane") == {"FINISHED"}
harness.expect_refused(lambda: bpy.ops.image.loomwork_render(image="t_lumidot"), "retired")
assert bpy.ops.image.loomwork_render(image="t_nimbra") == {"FINISHED"}
assert bpy.data.textures["t_nimbra"].loomwork.signature == addon.params.layout("nimbra").signature()

# Undo brings back values but not pixels: the undo handler renders what changed. (Blender
# without a window has no undo; the values are put back as undo puts them, quietly.)
tex = bpy.data.textures["t_fervix"]
start = harness.image_rgba(tex.loomwork.image).copy()
saved = dict(addon.params.values_at(tex))
bpy.ops.image.loomwork_preset(button=addon.params.layout("fervix").buttons[1], image="t_fervix")
assert not harness.same_bits(harness.image_rgba(tex.loomwork.image), start)
with addon.params.Quiet():
    group = tex.loomwork.p_fervix
    for ident, p in addon.params.layout("fervix").params:
        value = saved[p.name]
        setattr(group, ident, bool(value) if isinstance(getattr(group, ident), bool) else value)
registration.on_undo(bpy.context.scene)
assert harness.same_bits(harness.image_rgba(tex.loomwork.image), start)

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
layout = Layout()
addon.ui.LOOMWORK_PT_stereo.draw(type("Panel", (), {"layout": layout})(), context)
assert ("prop", "left_eye") in layout.drawn

# Disabled, the add-on leaves nothing behind.
bpy.ops.preferences.addon_disable(module=harness.ADDON)
for owner, attr in ((bpy.types.Texture, "loomwork"), (bpy.types.Image, "loomwork_texture"),
                    (bpy.types.Scene, "loomwork_stereo")):
    assert not hasattr(owner, attr), attr
assert not [n for n in dir(bpy.types) if "LOOMWORK" in n or "loomwork" in n], dir(bpy.types)
assert not hasattr(bpy.ops.image, "loomwork_new") or "loomwork_new" not in dir(bpy.ops.image)
for name in ("load_post", "render_pre", "render_write", "frame_change_pre", "undo_post"):
    assert not [h for h in getattr(bpy.app.handlers, name) if h.__module__.startswith(harness.ADDON)], name
assert not [p for p in sys.path if "build/python" in p and p not in os.environ.get("PYTHONPATH", "")]
assert not addon.render.worker()._thread
harness.done("textures")
