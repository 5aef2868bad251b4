"""Texture as a mapping of its parameters, with what each is and how it is animated.

tex.keys(), tex.values(), tex.items(), iter(tex) and len(tex) go over the texture's own
parameters in the panel's order (sub-maps' parameters are reached by "Slot.Name"); tex.info()
says what a parameter is (ParamInfo); tex.keyframes() lists its keys.
"""

from __future__ import annotations

from typing import NamedTuple


class Key(NamedTuple):
    """A key of an animated parameter: its value at `frame` (30 frames a second).

    interpolation: how values between two keys are made: "linear" (colours component by
    component; whole-number parameters rounded to the nearest). Before the first key and
    after the last the value holds.
    """

    frame: float
    value: object
    interpolation: str = "linear"


def _keys(self):
    """The parameter names, in the panel's order (as params())."""
    return self.params()


def _values(self):
    """The parameters' values at frame 0, in the panel's order."""
    return [self[name] for name in self.params()]


def _items(self):
    """(name, value at frame 0) of each parameter, in the panel's order."""
    return [(name, self[name]) for name in self.params()]


def _iter(self):
    return iter(self.params())


def _len(self):
    return len(self.params())


def _owner(self, name: str):
    """The texture holding parameter `name` ("Slot.Name" reaches into sub-maps), and its
    last part."""
    slot, _, last = name.rpartition(".")
    if not slot:
        return self, name
    sub = self.map(slot)
    if sub is None:
        self.get(name)  # raises the texture's own error for an empty slot
    return sub, last


def add_to(texture_class, parameters) -> None:
    def info(self, name: str | None = None):
        """What parameter `name` is (a ParamInfo: type, default, range, control and
        animatable), as `loomhost params` shows it; without a name, every parameter's."""
        if name is None:
            return parameters(self.class_name)
        self.get(name)  # an unknown name raises KeyError listing the valid ones
        owner, last = _owner(self, name)
        found = {p.name: p for p in parameters(owner.class_name)}
        if last in found:
            return found[last]
        # Names are matched without regard to case, as parameters are set.
        return next(p for p in found.values() if p.name.lower() == last.lower())

    def keyframes(self, name: str) -> list[Key]:
        """The keys of parameter `name` by frame (Key: frame, value, interpolation); empty
        when the parameter holds one value at every frame."""
        return [Key(frame, value) for frame, value in self._keys(name)]

    def animated(self, name: str) -> bool:
        """Whether parameter `name` has keys (its value may change from frame to frame)."""
        return bool(self._keys(name))

    for attr, fn in (("keys", _keys), ("values", _values), ("items", _items),
                     ("__iter__", _iter), ("__len__", _len), ("info", info),
                     ("keyframes", keyframes), ("animated", animated)):
        fn.__name__ = attr
        fn.__qualname__ = f"{texture_class.__name__}.{attr}"
        setattr(texture_class, attr, fn)
