"""Rendering textures into their images.

In the interface a change is rendered on a worker thread, a coarse picture first and then
the full one, and the pixels are swapped in on the main thread by a timer, so that dragging
a value never waits for a render. Renders of the scene (and scripts) render at once, on the
calling thread, for the frame they are at. loomwork renders let Python's other threads run,
and only the worker touches loomwork while it works.
"""

import threading

import bpy
import numpy as np

from . import module, params, store

# A coarse picture first when the image has more pixels than this; it is this many times
# smaller on each side.
COARSE_ABOVE = 128 * 128
COARSE_FACTOR = 8
POLL_SECONDS = 0.05


class RenderError(Exception):
    pass


_last = {}  # image key -> the job the image's full picture was made from


_PICTURE = ("class_name", "values", "width", "height", "seed", "tile", "tiles")


def _same_job(a, b, keys=_PICTURE + ("frame",)):
    return a is not None and all(a[k] == b[k] for k in keys)


def changed_since_render(item, frame=None, any_frame=False, source=None):
    """True when the image does not show the settings' values (those of `source`, an
    evaluated copy, when given) at `frame`; with `any_frame`, at whatever frame it was
    rendered for."""
    if frame is None:
        frame = item.id_data.frame_current
    keys = _PICTURE if any_frame else _PICTURE + ("frame",)
    try:
        job = job_of(item, frame, source)
    except RenderError:
        return True
    return not _same_job(_last.get(job["key"]), job, keys)


def make_texture(class_name, values):
    lw = module.get()
    tex = lw.Texture(class_name)
    for name, value in values.items():
        tex[name] = value
    return tex


def label(item):
    """How messages name a texture: by its image."""
    return f"'{item.image.name}'" if item.image is not None else f"A {item.class_name} texture without an image"


def check(item, source=None):
    """Raises RenderError when the texture cannot be rendered now (with the sizes of
    `source`, its evaluated copy, when given)."""
    settings = source if source is not None else item
    if module.get() is None:
        raise RenderError(module.error())
    lay = params.layout(settings.class_name)
    if lay is None:
        raise RenderError(
            f"{label(item)}: no texture class '{settings.class_name}' among the loaded "
            f"plug-ins ({', '.join(sorted(params.layouts())) or 'none'}); its image keeps its last pixels"
        )
    if settings.width < 1 or settings.height < 1:
        raise RenderError(f"{label(item)}: the size {settings.width} x {settings.height} is empty")
    if settings.width % settings.tiles_x or settings.height % settings.tiles_y:
        raise RenderError(
            f"{label(item)}: {settings.width} x {settings.height} pixels do not hold "
            f"{settings.tiles_x} x {settings.tiles_y} whole tiles; use multiples of the tile counts"
        )
    if item.image is None:
        raise RenderError(f"A loomwork texture of {item.id_data.name} lost its image (class {item.class_name})")
    return lay


def job_of(item, frame, source=None):
    """What to render: the settings of `item`, the values of `source` (its evaluated copy) or
    of the item itself."""
    check(item, source)
    s = source if source is not None else item
    return dict(key=store.image_key(item.image), name=item.image.name, class_name=item.class_name,
                values=params.values_of(s), width=s.width, height=s.height, frame=float(frame),
                seed=s.seed, tile=s.tile, tiles=(s.tiles_x, s.tiles_y))


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


def render_now(item, frame=None, source=None):
    """Renders the texture for `frame` (its scene's frame when None) on this thread, with the
    values of `source` (an evaluated copy) when given."""
    if frame is None:
        frame = item.id_data.frame_current
    job = job_of(item, frame, source)
    try:
        rgba = render_job(job)
    except (KeyError, ValueError) as e:
        raise RenderError(f"{label(item)}: {e}") from e
    put_pixels(item.image, rgba, job["width"], job["height"])
    item.error = ""
    _last[job["key"]] = job
    _worker.forget(job["key"])


class Worker:
    """One thread rendering the newest request of each texture, coarse then full."""

    def __init__(self):
        self._cond = threading.Condition()
        self._pending = {}  # image key -> job
        self._results = []  # (name, generation, rgba, job, final)
        self._generation = {}
        self._busy = False
        self._thread = None
        self._stop = False
        self.applied = []  # (name, width of the picture, final) of what was swapped in

    def submit(self, job):
        with self._cond:
            gen = self._generation.get(job["key"], 0) + 1
            self._generation[job["key"]] = gen
            job["generation"] = gen
            self._pending[job["key"]] = job
            if self._thread is None:
                self._stop = False
                self._thread = threading.Thread(target=self._run, name="loomwork renders", daemon=True)
                self._thread.start()
            self._cond.notify()

    def forget(self, key):
        """Drops what is queued or on its way for the image (a newer picture is in)."""
        with self._cond:
            self._generation[key] = self._generation.get(key, 0) + 1
            self._pending.pop(key, None)

    def _current(self, job):
        return self._generation.get(job["key"]) == job["generation"]

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
                job = self._pending.pop(next(iter(self._pending)))
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
        image = store.find_image(job["key"])
        item = store.settings_of(image)
        if item is None:
            continue
        if err:
            item.error = err
            continue
        put_pixels(image, rgba, job["width"], job["height"])
        if final:
            item.error = ""
            _last[job["key"]] = job
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


def schedule(item, frame=None, source=None):
    """Re-renders the texture in the background (at once when Blender runs without a
    window, where no timer would swap the pictures in)."""
    if frame is None:
        frame = item.id_data.frame_current
    try:
        if bpy.app.background:
            render_now(item, frame, source)
            return
        _worker.submit(job_of(item, frame, source))
    except RenderError as e:
        item.error = str(e)
        return
    if not bpy.app.timers.is_registered(_poll):
        bpy.app.timers.register(_poll, first_interval=POLL_SECONDS)


def forget_all():
    """Forgets what every image was rendered from (another file's images are others)."""
    _last.clear()


def shutdown():
    _worker.stop()
    _worker.applied.clear()
    _last.clear()
    if bpy.app.timers.is_registered(_poll):
        bpy.app.timers.unregister(_poll)
