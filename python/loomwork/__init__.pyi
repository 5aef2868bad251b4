import os
from typing import Any, Iterable, Iterator, Literal, Mapping, NamedTuple, Sequence, overload

import numpy as np
import numpy.typing as npt

Output = Literal["color", "mono", "normal"]
Value = float | int | tuple[float, float, float]
PathLike = str | bytes | os.PathLike[str] | os.PathLike[bytes]
Picture = npt.ArrayLike

class ClassInfo:
    """A class a plug-in offers."""

    @property
    def name(self) -> str: ...
    @property
    def short_name(self) -> str: ...
    @property
    def kind(self) -> Literal["texture", "filter", "other"]: ...
    @property
    def category(self) -> str: ...
    @property
    def plugin(self) -> str: ...
    @property
    def class_id(self) -> tuple[int, int]: ...

class ParamInfo:
    """A parameter of a texture class: its type, default and the panel control's range."""

    @property
    def name(self) -> str: ...
    @property
    def type(self) -> Literal["float", "int", "color"]: ...
    @property
    def default(self) -> Value: ...
    @property
    def animatable(self) -> bool: ...
    @property
    def control(self) -> Literal["spinner", "slider", "button", "swatch", "none"]: ...
    @property
    def min(self) -> float | int | None: ...
    @property
    def max(self) -> float | int | None: ...
    @property
    def step(self) -> float | int | None: ...

class Key(NamedTuple):
    """A key of an animated parameter: its value at `frame` (30 frames a second).

    interpolation: how values between two keys are made, "linear" (colours component by
    component; whole-number parameters rounded). Before the first key and after the last
    the value holds.
    """

    frame: float
    value: Value
    interpolation: str

class Texture:
    """A procedural texture of a plug-in, and a mapping of its parameters.

    Texture(class_name, preset=None, time=0, **params) makes one of the class (its name as
    classes() lists it, or the short name such as "nimbra"), clicks the preset button(s) of
    its panel, then sets the parameters: Texture("nimbra", U_Scale=4) (underscores stand for
    spaces) or Texture("nimbra", **{"U Scale": 4}). Parameters are read and set by their
    panel names, tex["U Scale"] = 4; "Slot.Name" reaches into a sub-map. keys(), values(),
    items(), iteration and len() go over the texture's own parameters in the panel's order.
    Errors: KeyError for a name that is not there (the message lists the valid ones),
    ValueError for a value the texture refuses, TypeError for an argument of the wrong type.
    """

    def __init__(
        self,
        class_name: str,
        preset: str | Sequence[str] | None = None,
        time: float = 0.0,
        seed: int | None = None,
        **params: Value | Texture | str | None,
    ) -> None: ...
    @property
    def seed(self) -> int:
        """The seed of the texture and its sub-maps (0, the default, gives the built-in
        noise tables and draws; up to 2147483647); saved with it in scenes."""
    @seed.setter
    def seed(self, value: int) -> None: ...
    @property
    def class_name(self) -> str:
        """The class name the plug-in gives."""
    @property
    def label(self) -> str:
        """The name it was made with, or its scene entry's name."""
    def params(self) -> list[str]:
        """Parameter names, in the panel's order."""
    def maps(self) -> list[str]:
        """Sub-map slot names."""
    def keys(self) -> list[str]:
        """The parameter names, in the panel's order (as params())."""
    def values(self) -> list[Value]:
        """The parameters' values at frame 0, in the panel's order."""
    def items(self) -> list[tuple[str, Value]]:
        """(name, value at frame 0) of each parameter, in the panel's order."""
    def __iter__(self) -> Iterator[str]:
        """The parameter names, in the panel's order."""
    def __len__(self) -> int:
        """The number of parameters."""
    def info(self, name: str | None = None) -> ParamInfo | list[ParamInfo]:
        """What parameter `name` is (a ParamInfo: type, default, range, control and
        animatable), as `loomhost params` shows it; without a name, a list of every
        parameter's."""
    def get(self, name: str, time: float = 0.0) -> Value:
        """The value of parameter `name` at frame `time`: float, int or (R, G, B)."""
    def set(self, name: str, value: Value | Texture | str | None, time: float = 0.0) -> None:
        """Sets parameter `name` at frame `time` (or a sub-map slot, as tex[name] = value)."""
    def __getitem__(self, name: str) -> Value:
        """The value of parameter `name` at frame 0."""
    def __setitem__(self, name: str, value: Value | Texture | str | None) -> None:
        """Sets a parameter at frame 0; for a sub-map slot, a Texture (shared), an image
        file's path or None (emptied)."""
    def __contains__(self, name: str) -> bool:
        """Whether `name` is a parameter or a sub-map slot."""
    def key(self, name: str, frame: float, value: Value) -> None:
        """Adds a key: parameter `name` takes `value` at `frame` (30 frames a second);
        between two keys the value moves linearly."""
    def keyframes(self, name: str) -> list[Key]:
        """The keys of parameter `name` by frame; empty when it holds one value."""
    def animated(self, name: str) -> bool:
        """Whether parameter `name` has keys."""
    def remove_key(self, name: str, frame: float) -> None:
        """Removes the key of `name` at `frame`; removing the last key leaves its value at
        every frame. ValueError when there is no key at that frame."""
    def preset(self, name: str) -> None:
        """Clicks the button with this text in the texture's panel: a preset, palette or
        mutation, as `loomhost render --preset` does."""
    def map(self, name: str) -> Texture | None:
        """The texture in sub-map slot `name` (shared), or None."""
    def render(
        self,
        width: int,
        height: int,
        time: float = 0.0,
        threads: int | None = None,
        output: Output = "color",
        seed: int | None = None,
        tile: bool = False,
    ) -> npt.NDArray[np.float32]:
        """Renders the texture over the unit square at frame `time`, as `loomhost render`
        does (the same bits as its EXR files): float32 (H, W, 4) RGBA for "color", (H, W)
        for "mono", (H, W, 3) for "normal". threads None: one per core. seed: render with
        this seed instead of the texture's own. tile: a seamless tile. Python's other
        threads run meanwhile."""
    def sample(
        self,
        u: float | npt.ArrayLike,
        v: float | npt.ArrayLike,
        time: float = 0.0,
        output: Output = "color",
    ) -> npt.NDArray[np.float32]:
        """Evaluates the texture at points (u, v) (numbers or arrays, broadcast together)
        as `loomhost eval` does: float32 of shape u.shape + (4,) for "color", u.shape for
        "mono", u.shape + (3,) for "normal"."""

__version__: str

def classes() -> list[ClassInfo]:
    """The textures and filters of the loaded plug-ins."""
def parameters(class_name: str) -> list[ParamInfo]:
    """The parameters of a texture class in row order, with type, default and the range of
    the panel control that edits each."""
def panel_buttons(class_name: str) -> list[str]:
    """The texts of the buttons of a texture class's panel that set values when clicked
    (presets, palettes, mutations): each is a name Texture.preset() takes."""
def load_plugins(folders: Sequence[PathLike] | None = None) -> list[str]:
    """Loads the plug-ins from `folders` (default: searched as `loomhost` searches) unless
    they are loaded already; returns why libraries were skipped."""
def plugin_folders() -> list[str]:
    """The folders the plug-ins were loaded from (empty before they are loaded)."""
def anaglyph(
    left: Picture,
    right: Picture,
    left_eye: Literal["red", "green", "blue"] = "red",
    right_eye: Literal["red", "green", "blue"] = "green",
    left_comp: float = -0.1,
    right_comp: float = -0.1,
    method: Literal["grey", "half-colour", "colour", "dubois"] = "grey",
    glasses: Literal["red-cyan", "green-magenta", "amber-blue"] | None = None,
    align: bool | Literal["apply", "report", "try"] | None = None,
    parallax: float | Literal["auto"] | None = None,
    crop: str | None = None,
    matrix: str | Sequence[float] | None = None,
    linear: bool = False,
    swap: bool = False,
) -> npt.NDArray[np.uint16]:
    """Composes a stereo pair into one anaglyph picture, as `loomhost anaglyph` does.

    left and right: array-likes (H, W), (H, W, 3) or (H, W, 4) of uint8, uint16 or floats
    (0..1). method "grey" (the stereo filter: eye colours, compensations -0.5..0), or
    "half-colour", "colour" or "dubois" for `glasses`. align, parallax, crop and swap adjust
    the pair first, as align() does; matrix: 18 numbers composing the output's red, green,
    blue from the left view's r, g, b then the right view's; linear: compose in linear
    light. Returns uint16 (H, W, 4) when an input has alpha, else (H, W, 3).
    """
def align(
    left: Picture,
    right: Picture,
    apply: bool | Literal["apply", "report", "try"] = True,
    parallax: float | Literal["auto"] | None = None,
    crop: str | None = None,
    swap: bool = False,
) -> tuple[dict[str, Any], npt.NDArray[np.uint16], npt.NDArray[np.uint16]]:
    """Aligns the right view of a stereo pair to the left, as `loomhost anaglyph --align`:
    returns (info, left, right), info a dict with dy_px, rotation_deg, scale, keystone,
    matches, residuals, parallax_px, crop, correction and warnings."""
def frame_list(text: str) -> list[int]:
    """The frames of a list as render farms write it, ascending: "1-3,5,7-20:2" is 1, 2, 3,
    5, 7, 9, ..., 19 (parts N, A-B or A-B:S, in any order, not overlapping; at most a
    million frames)."""
def load_scene(path: PathLike) -> dict[str, Texture]:
    """Loads a scene file: a dict of its texture entries by name."""
def save_scene(path: PathLike, textures: Texture | Mapping[str, Texture] | Iterable[Texture]) -> None:
    """Saves textures as a scene file (a dict of them by entry name, a list, or one); the
    file is replaced whole or not at all."""
def read_image(
    path: PathLike,
    dtype: Literal["float32", "uint16", "uint8"] | None = None,
    channels: Literal[1, 2, 3, 4] | None = None,
    native: bool = False,
) -> npt.NDArray[np.float32] | npt.NDArray[np.uint16] | npt.NDArray[np.uint8]:
    """Reads an image file: float32 (H, W, 4) on the 0..1 scale of its format, or
    dtype "uint16" or "uint8". native=True keeps the file's own channels ((H, W) for grey)
    and, unless dtype says otherwise, its own sample type. channels: 1 (grey), 2 (grey and
    alpha), 3 (RGB) or 4 (RGBA)."""
def write_image(path: PathLike, image: Picture, bits: int | None = None) -> None:
    """Writes an image file chosen by extension (.png, .tif, .exr, .jpg): float arrays
    (0..1) at `bits` 8 (default) or 16 in PNG and TIFF, as they are in EXR; uint8 and
    uint16 arrays at their own depth."""
