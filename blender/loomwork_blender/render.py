"""Rendering texture datablocks into their images.

In the interface a change is rendered on a worker thread, a coarse picture first and then
the full one, and the pixels are swapped in on the main thread by a timer, so that dragging
a value never waits for a render. Renders of the scene (and scripts) render at once, on the
calling thread, for the frame they are at. loomwork renders let Python's other threads run,
and only the worker touches loomwork while it works.
"""

import threading

import bpy
import numpy as np

from . import module, params

# A coarse picture first when the image has more pixels than this; it is this many times
# smaller on each side.
COARSE_ABOVE = 128 * 128
COARSE_FACTOR = 8
POLL_SECONDS = 0.05


class RenderError(Exception):
    pass


_last = {}  # texture name -> the job its image's full picture was made from


_PICTURE = ("class_name", "values", "width", "height", "seed", "tile", "tiles")


def _same_job(a, b, keys=_PICTURE + ("frame",)):
    return a is not None and all(a[k] == b[k] for k in keys)


def changed_since_render(texture, frame=None, any_frame=False):
    """True when the image does not show the datablock's values at `frame` (with
    `any_frame`, the values it has now at whatever frame it was rendered for)."""
    if frame is None:
        frame = bpy.context.scene.frame_current
    keys = _PICTURE if any_frame else _PICTURE + ("frame",)
    try:
        return not _same_job(_last.get(texture.name), job_of(texture, frame), keys)
    except RenderError:
        return True


def make_texture(class_name, values):
    lw = module.get()
    tex = lw.Texture(class_name)
    for name, value in values.items():
        tex[name] = value
    return tex


def check(texture):
    """Raises RenderError when the datablock cannot be rendered now."""
    settings = texture.loomwork
    if module.get() is None:
        raise RenderError(module.error())
    lay = params.layout(settings.class_name)
    if lay is None:
        raise RenderError(
            f"'{texture.name}': no texture class '{settings.class_name}' among the loaded "
            f"plug-ins ({', '.join(sorted(params.layouts())) or 'none'}); its image keeps its last pixels"
        )
    if settings.width < 1 or settings.height < 1:
        raise RenderError(f"'{texture.name}': the size {settings.width} x {settings.height} is empty")
    if settings.width % settings.tiles_x or settings.height % settings.tiles_y:
        raise RenderError(
            f"'{texture.name}': {settings.width} x {settings.height} pixels do not hold "
            f"{settings.tiles_x} x {settings.tiles_y} whole tiles; use multiples of the tile counts"
        )
    if settings.image is None:
        raise RenderError(f"'{texture.name}' has no image")
    return lay


def job_of(texture, frame):
    check(texture)
    s = texture.loomwork
    return dict(name=texture.name, class_name=s.class_name, values=params.values_at(texture, frame),
                width=s.width, height=s.height, frame=float(frame), seed=s.seed, tile=s.tile,
                tiles=(s.tiles_x, s.tiles_y))


def render_job(job, width=None, height=None):
    """float32 (H, W, 4) as loomwork renders it (as loomhost render --seed, --tile and
    --tiles: a tile of the picture's size over the counts, repeated)."""
    tex = make_texture(job["class_name"], job["values"])
    columns, rows = job["tiles"]
    width, height = width or job["width"], height or job["height"]
    tile = job["tile"] or columns > 1 or rows > 1
    rgba = tex.render(max(1, width // columns), max(1, height // rows), time=job["frame"],
                      seed=job["seed"] or None, tile=tile)
    return np.tile(rgba, (rows, columns, 1)) if columns > 1 or rows > 1 else rgba


def put_pixels(image, rgba, width, height):
    """Puts a render into the image, top row first as loomwork gives it."""
    if tuple(image.size) != (width, height):
        image.scale(width, height)
    if rgba.shape[:2] != (height, width):
        # A coarse picture, spread over the image's pixels.
        ys = np.arange(height) * rgba.shape[0] // height
        xs = np.arange(width) * rgba.shape[1] // width
        rgba = rgba[ys][:, xs]
    image.pixels.foreach_set(np.ascontiguousarray(rgba[::-1]).ravel())
    image.update()


def render_now(texture, frame=None):
    """Renders the datablock for `frame` (the scene's frame when None) on this thread."""
    if frame is None:
        frame = bpy.context.scene.frame_current
    job = job_of(texture, frame)
    try:
        rgba = render_job(job)
    except (KeyError, ValueError) as e:
        raise RenderError(f"'{texture.name}': {e}") from e
    put_pixels(texture.loomwork.image, rgba, job["width"], job["height"])
    texture.loomwork.error = ""
    _last[texture.name] = job
    _worker.forget(texture.name)


class Worker:
    """One thread rendering the newest request of each texture, coarse then full."""

    def __init__(self):
        self._cond = threading.Condition()
        self._pending = {}  # texture name -> job
        self._results = []  # (name, generation, rgba, job, final)
        self._generation = {}
        self._busy = False
        self._thread = None
        self._stop = False
        self.applied = []  # (name, width of the picture, final) of what was swapped in

    def submit(self, job):
        with self._cond:
            gen = self._generation.get(job["name"], 0) + 1
            self._generation[job["name"]] = gen
            job["generation"] = gen
            self._pending[job["name"]] = job
            if self._thread is None:
                self._stop = False
                self._thread = threading.Thread(target=self._run, name="loomwork renders", daemon=True)
                self._thread.start()
            self._cond.notify()

    def forget(self, name):
        """Drops what is queued or on its way for `name` (a newer picture is in)."""
        with self._cond:
            self._generation[name] = self._generation.get(name, 0) + 1
            self._pending.pop(name, None)

    def _current(self, job):
        return self._generation.get(job["name"]) == job["generation"]

    def _run(self):
        while True:
            with self._cond:
                while not self._pending and not self._stop:
                    self._busy = False
                    self._cond.notify_all()
                    self._cond.wait()
                if self._stop:
                    self._busy = False
                    self._cond.notify_all()
                    return
                name = next(iter(self._pending))
                job = self._pending.pop(name)
                self._busy = True
            w, h = job["width"], job["height"]
            sizes = [(w, h)]
            if w * h > COARSE_ABOVE:
                sizes.insert(0, (max(1, w // COARSE_FACTOR), max(1, h // COARSE_FACTOR)))
            for i, (sw, sh) in enumerate(sizes):
                with self._cond:
                    if not self._current(job):
                        break
                try:
                    rgba, err = render_job(job, sw, sh), None
                except Exception as e:  # reported on the main thread
                    rgba, err = None, f"'{job['name']}': {e}"
                with self._cond:
                    self._results.append((job, rgba, err, i == len(sizes) - 1))
                if err:
                    break

    def take_results(self):
        with self._cond:
            out, self._results = self._results, []
            return [r for r in out if self._current(r[0])]

    def wait_idle(self, timeout=60.0):
        """Waits until nothing is queued or rendering (tests, and leaving)."""
        with self._cond:
            return self._cond.wait_for(lambda: not self._pending and not self._busy, timeout)

    def busy(self):
        with self._cond:
            return bool(self._pending or self._busy)

    def stop(self):
        with self._cond:
            self._stop = True
            self._pending.clear()
            self._cond.notify_all()
            thread, self._thread = self._thread, None
        if thread:
            thread.join(timeout=30)
        with self._cond:
            self._results.clear()


_worker = Worker()


def worker():
    return _worker


def apply_results():
    """Swaps finished pictures into their images (main thread)."""
    for job, rgba, err, final in _worker.take_results():
        texture = bpy.data.textures.get(job["name"])
        if texture is None or texture.loomwork.image is None:
            continue
        if err:
            texture.loomwork.error = err
            continue
        put_pixels(texture.loomwork.image, rgba, job["width"], job["height"])
        if final:
            texture.loomwork.error = ""
            _last[job["name"]] = job
        _worker.applied.append((job["name"], rgba.shape[1], final))
    _tag_redraw()


def _tag_redraw():
    wm = bpy.context.window_manager
    for window in wm.windows if wm else []:
        for area in window.screen.areas:
            if area.type in {"IMAGE_EDITOR", "NODE_EDITOR", "VIEW_3D"}:
                area.tag_redraw()


def _poll():
    apply_results()
    return POLL_SECONDS if _worker.busy() else None


def schedule(texture, frame=None):
    """Re-renders the datablock in the background (at once when Blender runs without a
    window, where no timer would swap the pictures in)."""
    if frame is None:
        frame = bpy.context.scene.frame_current
    try:
        if bpy.app.background:
            render_now(texture, frame)
            return
        _worker.submit(job_of(texture, frame))
    except RenderError as e:
        texture.loomwork.error = str(e)
        return
    if not bpy.app.timers.is_registered(_poll):
        bpy.app.timers.register(_poll, first_interval=POLL_SECONDS)


def shutdown():
    _worker.stop()
    _worker.applied.clear()
    _last.clear()
    if bpy.app.timers.is_registered(_poll):
        bpy.app.timers.unregister(_poll)
