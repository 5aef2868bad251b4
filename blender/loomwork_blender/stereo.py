"""Anaglyphs of stereo renders: after Blender writes a frame's two views, the stereo
filter (or a colour method) composes them into one 16-bit picture written beside them.

Blender must write the views as separate files (Output > Views > Individual); each file is
read as the stereo filter reads pictures, and the anaglyph goes to the left view's name
with the view's suffix replaced by the settings' suffix, as a 16-bit PNG.
"""

import os

import bpy

from . import module


class StereoError(Exception):
    pass


def view_files(scene, frame):
    """The files the frame's left and right views were written to, and the anaglyph's."""
    rd = scene.render
    if rd.views_format != "STEREO_3D":
        raise StereoError("the scene's views are not set to Stereo 3D")
    if rd.image_settings.views_format != "INDIVIDUAL":
        raise StereoError("the output's views must be written as individual files (Output > Views)")
    left, right = rd.views["left"], rd.views["right"]
    lp, rp = rd.frame_path(frame=frame, view=left.name), rd.frame_path(frame=frame, view=right.name)
    if not (os.path.isfile(lp) and os.path.isfile(rp)):
        # A still written with write_still carries no frame number.
        base = bpy.path.abspath(rd.filepath)
        ext = rd.file_extension if rd.use_file_extension else ""
        still = base + left.file_suffix + ext, base + right.file_suffix + ext
        if all(os.path.isfile(p) for p in still):
            lp, rp = still
    stem, _ = os.path.splitext(lp)
    if left.file_suffix and stem.endswith(left.file_suffix):
        stem = stem[: -len(left.file_suffix)]
    return lp, rp, stem + scene.loomwork_stereo.suffix + ".png"


def compose(scene, frame):
    """Composes the written views of `frame`; returns the anaglyph's path."""
    lw = module.get()
    if lw is None:
        raise StereoError(module.error())
    lp, rp, out = view_files(scene, frame)
    for p in (lp, rp):
        if not os.path.isfile(p):
            raise StereoError(f"the view {p} was not written")
    left = lw.read_image(lp, dtype="uint16")
    right = lw.read_image(rp, dtype="uint16")
    if left.shape != right.shape:
        raise StereoError(f"{lp} and {rp} differ in size")
    lw.write_image(out, lw.anaglyph(left, right, **scene.loomwork_stereo.anaglyph_options()))
    return out


@bpy.app.handlers.persistent
def on_render_write(scene, *_):
    st = getattr(scene, "loomwork_stereo", None)
    if st is None or not st.enabled or not scene.render.use_multiview:
        return
    try:
        out = compose(scene, scene.frame_current)
        st.last_error = ""
        print(f"loomwork: anaglyph {out}")
    except Exception as e:  # reported, never raised into the render
        st.last_error = f"frame {scene.frame_current}: {e}"
        from . import registration

        registration.report([f"Anaglyph not written: {st.last_error}"])
