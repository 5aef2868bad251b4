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
    from . import render, store

    item = store.settings_owning(self)
    if item is not None:
        render.schedule(item)


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


def group_of(item):
    """The parameter group of a texture's settings, or None when its class is not loaded."""
    lay = layout(item.class_name)
    return getattr(item, lay.pointer_name) if lay else None


def values_of(item):
    """{parameter name: value} of a texture's settings: of the original to render what is
    being edited, of the depsgraph's copy (store.evaluated) to render a frame's keyed values."""
    lay = layout(item.class_name)
    group = getattr(item, lay.pointer_name)
    values = {}
    for ident, p in lay.params:
        value = getattr(group, ident)
        if p.type == "color":
            value = tuple(value)
        elif p.type == "int":
            value = int(value)
        values[p.name] = value
    return values


def write_values(item, tex):
    """Copies a loomwork.Texture's values into the settings' properties."""
    lay = layout(item.class_name)
    group = getattr(item, lay.pointer_name)
    with Quiet():
        for ident, p in lay.params:
            value = tex.get(p.name)
            setattr(group, ident, bool(value) if isinstance(getattr(group, ident), bool) else value)
