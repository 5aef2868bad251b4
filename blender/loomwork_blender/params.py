"""Blender properties made from each texture class's own parameter list.

For every texture class loomwork offers, a PropertyGroup is made at registration from
loomwork.parameters(): a float, int or colour property per parameter (flags edited by a
check or radio button become check boxes), with the texture's default and the range of its
panel control as the soft range (values outside it may still be typed, as the command line
allows). Property identifiers are the parameter names in lower case with underscores; the
names shown are the texture's own.
"""

import json
import re

import bpy

from . import module


class ClassLayout:
    """One texture class as the add-on shows it."""

    def __init__(self, info, params, buttons):
        self.short_name = info.short_name
        self.class_name = info.name
        self.params = params  # [(identifier, loomwork.ParamInfo)]
        self.buttons = buttons
        self.group = None  # the PropertyGroup class, once made

    @property
    def pointer_name(self):
        return "p_" + self.short_name

    def signature(self):
        """The parameter list as stored with a texture, to notice a changed plug-in."""
        return json.dumps([[p.name, p.type] for _, p in self.params])


_layouts = {}  # short name -> ClassLayout
_quiet = [0]  # > 0 while the add-on writes many properties at once


def identifier(name, taken):
    ident = re.sub(r"[^0-9A-Za-z]+", "_", name).strip("_").lower() or "param"
    if ident[0].isdigit():
        ident = "p_" + ident
    base, n = ident, 2
    while ident in taken:
        ident, n = f"{base}_{n}", n + 1
    taken.add(ident)
    return ident


def _on_change(self, context):
    if _quiet[0]:
        return
    from . import render

    render.schedule(self.id_data)


def _property(p):
    common = dict(name=p.name, update=_on_change)
    common["options"] = {"ANIMATABLE"} if p.animatable else set()
    if p.type == "color":
        return bpy.props.FloatVectorProperty(
            subtype="COLOR", size=3, default=p.default, soft_min=0.0, soft_max=1.0, **common
        )
    if p.type == "int":
        if p.control == "button" and p.default in (0, 1):
            return bpy.props.BoolProperty(default=bool(p.default), **common)
        ranged = {} if p.min is None else dict(soft_min=p.min, soft_max=p.max)
        return bpy.props.IntProperty(default=p.default, **ranged, **common)
    ranged = {}
    if p.min is not None:
        ranged = dict(soft_min=p.min, soft_max=p.max)
        # Blender's step is in hundredths of a unit.
        if p.step:
            ranged["step"] = max(1, min(100 * p.step, 10000))
    return bpy.props.FloatProperty(default=p.default, precision=3, **ranged, **common)


def build_layouts():
    """Describes every texture class of the loaded plug-ins; returns the new groups."""
    lw = module.get()
    _layouts.clear()
    groups = []
    for info in lw.classes():
        if info.kind != "texture":
            continue
        taken = set()
        params = [(identifier(p.name, taken), p) for p in lw.parameters(info.short_name)]
        layout = ClassLayout(info, params, lw.panel_buttons(info.short_name))
        annotations = {ident: _property(p) for ident, p in params}
        layout.group = type(
            "LOOMWORK_PG_" + re.sub(r"\W", "_", info.short_name),
            (bpy.types.PropertyGroup,),
            {"__annotations__": annotations, "__doc__": f"Parameters of {info.name}"},
        )
        _layouts[info.short_name] = layout
        groups.append(layout.group)
    return groups


def layouts():
    return _layouts


def layout(short_name):
    return _layouts.get(short_name)


def clear():
    _layouts.clear()


class Quiet:
    """Writes properties without a re-render for each."""

    def __enter__(self):
        _quiet[0] += 1

    def __exit__(self, *exc):
        _quiet[0] -= 1


def group_of(texture):
    """The parameter group of a loomwork texture datablock, or None."""
    lay = layout(texture.loomwork.class_name)
    return getattr(texture.loomwork, lay.pointer_name) if lay else None


def values_at(texture, frame=None):
    """{parameter name: value} of a texture datablock, its keys evaluated at `frame`."""
    lay = layout(texture.loomwork.class_name)
    group = getattr(texture.loomwork, lay.pointer_name)
    curves = {}
    action = texture.animation_data.action if texture.animation_data else None
    if frame is not None and action:
        for fc in action.fcurves:
            if not fc.mute:
                curves[(fc.data_path, fc.array_index)] = fc
    prefix = f"loomwork.{lay.pointer_name}."
    values = {}
    for ident, p in lay.params:
        value = getattr(group, ident)
        if p.type == "color":
            value = tuple(value)
            if curves:
                value = tuple(
                    curves[(prefix + ident, i)].evaluate(frame) if (prefix + ident, i) in curves else value[i]
                    for i in range(3)
                )
        else:
            fc = curves.get((prefix + ident, 0))
            if fc is not None:
                value = fc.evaluate(frame)
                value = round(value) if p.type == "int" else value
            value = int(value) if p.type == "int" else value
        values[p.name] = value
    return values


def is_animated(texture):
    ad = texture.animation_data
    return bool(ad and ad.action and any(fc.data_path.startswith("loomwork.") for fc in ad.action.fcurves))


def show_values(texture, values):
    """Puts values ({name: value}) into the datablock's properties without a re-render:
    Blender does not evaluate the keys of textures outside its scenes' graphs, so the add-on
    shows each frame's keyed values itself."""
    lay = layout(texture.loomwork.class_name)
    group = getattr(texture.loomwork, lay.pointer_name)
    with Quiet():
        for ident, p in lay.params:
            old = getattr(group, ident)
            value = bool(values[p.name]) if isinstance(old, bool) else values[p.name]
            if (tuple(old) if p.type == "color" else old) != value:
                setattr(group, ident, value)


def write_values(texture, tex):
    """Copies a loomwork.Texture's values into the datablock's properties."""
    lay = layout(texture.loomwork.class_name)
    group = getattr(texture.loomwork, lay.pointer_name)
    with Quiet():
        for ident, p in lay.params:
            value = tex.get(p.name)
            setattr(group, ident, bool(value) if isinstance(getattr(group, ident), bool) else value)
