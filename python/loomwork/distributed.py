"""Frame ranges rendered by the workers of a dask.distributed cluster.

    from dask.distributed import Client
    from loomwork.distributed import render_frames

    client = Client("scheduler:8786")
    render_frames(client, "clouds.loom", range(0, 1000), "/shared/out/f_{frame:04d}.png",
                  width=1920, height=1080)

Each worker process imports loomwork and loads the plug-ins itself (from LOOMHOST_PLUGINS or
the package's folder), renders its chunks of frames and writes them to the shared folder.
A file appears whole or not at all, so a worker lost mid-job leaves nothing half-written;
the scheduler gives its chunks to another worker. A frame that fails is tried once more,
then reported by number. The files are the bytes `loomhost render --frames` writes.

Before the first task, everything the command line checks is checked here and refused with
one ValueError (or OSError for the output folder): the size, output, bits, a pattern
without the frame number, a folder that is not there, an extension no writer takes.
resume=True skips frames whose files read whole at the size asked for, as `--resume` does;
manifest= writes the manifest `--manifest` writes.
"""

from __future__ import annotations

import math
import os
import sys
from dataclasses import dataclass, field
from typing import Iterable, Sequence

from . import _loomwork

__all__ = ["FramesFailed", "RenderReport", "frame_path", "render_frames"]


class FramesFailed(RuntimeError):
    """Frames that failed twice; `failed` maps each frame number to its error."""

    def __init__(self, failed: dict[int, str], done: list[int]):
        self.failed = dict(sorted(failed.items()))
        self.done = done
        lines = [f"frame {f}: {why}" for f, why in self.failed.items()]
        super().__init__(f"{len(self.failed)} frame(s) failed twice: " + "; ".join(lines))


@dataclass
class RenderReport:
    """What a render_frames call did: the frames written, those tried twice, and those
    resume=True found complete already."""

    done: list[int] = field(default_factory=list)
    retried: list[int] = field(default_factory=list)
    skipped: list[int] = field(default_factory=list)


def frame_path(pattern: str, frame: int) -> str:
    """The file of `frame`: pattern "f_{frame:04d}.png" (str.format) or "f_%04d.png"."""
    return pattern.format(frame=frame) if "{" in pattern else pattern % frame


def _checked_pattern(pattern) -> str:
    """The pattern as text, refused with a ValueError when it cannot name frames apart."""
    try:
        pattern = os.fspath(pattern)
    except TypeError:
        raise TypeError(f"out_pattern must be a str or path object, not {type(pattern).__name__}") from None
    if not isinstance(pattern, str):
        pattern = os.fsdecode(pattern)
    if "{" not in pattern and "%" not in pattern:
        raise ValueError(f"out_pattern {pattern!r} has no frame number; "
                         "write it as {frame:04d} or %04d")
    try:
        names = {frame_path(pattern, 0), frame_path(pattern, 1)}
    except (KeyError, IndexError, ValueError, TypeError) as e:
        raise ValueError(f"out_pattern {pattern!r} cannot name a frame ({type(e).__name__}: {e}); "
                         "write the frame number as {frame:04d} or %04d") from None
    if len(names) == 1:
        raise ValueError(f"out_pattern {pattern!r} names every frame alike; "
                         "write the frame number as {frame:04d} or %04d")
    return pattern


def _render_chunk(scene: bytes | str, entry: str | None, frames: Sequence[int], pattern: str,
                  width: int, height: int, output: str, bits: int, threads: int | None):
    """Runs on a worker: renders `frames` and writes their files. Returns the frames written
    and, for each frame that failed, why."""
    textures = _loomwork._load_scene_bytes(scene) if isinstance(scene, bytes) else _loomwork.load_scene(scene)
    if entry is None:
        tex = next(iter(textures.values()), None)
        if tex is None:
            raise ValueError("the scene holds no texture")
    elif entry in textures:
        tex = textures[entry]
    else:
        raise KeyError(f"the scene has no texture entry '{entry}'")
    frames = list(frames)
    files = [frame_path(pattern, frame) for frame in frames]
    return _loomwork._render_frames(tex, frames, files, width, height, output, bits, threads)


def _chunks(frames: list[int], size: int) -> list[list[int]]:
    return [frames[i : i + size] for i in range(0, len(frames), size)]


class _Progress:
    def __init__(self, total: int, enabled: bool):
        self.total, self.count, self.enabled = total, 0, enabled and total > 0

    def add(self, n: int):
        self.count += n
        if self.enabled:
            width = 40
            filled = width * self.count // self.total
            sys.stderr.write(f"\rrender_frames [{'#' * filled}{'.' * (width - filled)}] "
                             f"{self.count}/{self.total}")
            sys.stderr.flush()

    def finish(self):
        if self.enabled:
            sys.stderr.write("\n")


def render_frames(client, texture_or_scene, frames: Iterable[int] | str, out_pattern: str, *,
                  width: int = 256, height: int = 256, output: str = "color", bits: int = 8,
                  entry: str | None = None, threads: int | None = None,
                  chunk_size: int | None = None, progress: bool = True, resume: bool = False,
                  manifest: str | os.PathLike | None = None) -> RenderReport:
    """Renders `frames` on the workers of `client` (a dask.distributed Client).

    texture_or_scene: a Texture (sent to the workers as scene bytes), a dict of them with
    `entry` naming one, or the path of a scene file every worker can read (`entry`: its
    texture entry, default the first). out_pattern: the file of each frame, e.g.
    "/shared/f_{frame:04d}.png" or "/shared/f_%04d.exr"; its folder must exist and be
    shared by the workers. output "color", "mono" or "normal"; bits 8 or 16 for PNG/TIFF.
    threads: render threads per frame on a worker (None: one per core). chunk_size: frames a
    task renders (default: about four tasks per worker). resume: frames whose files read
    whole at width x height are not rendered again (RenderReport.skipped). manifest: a file
    to write the run's manifest to, as `loomhost render --manifest` does.

    frames: frame numbers, or a frame list as the command line's --frames takes it
    ("1-3,5,7-20:2"; loomwork.frame_list).

    Everything is checked before the first task; the output's folder is checked from this
    process, so it must see the shared folder too. Returns a RenderReport; raises
    FramesFailed (naming the frames and why) when frames failed twice, after all other
    frames are written.
    """
    if isinstance(frames, str):
        frames = _loomwork.frame_list(frames)
    frames = sorted(set(int(f) for f in frames))
    if not frames:
        return RenderReport()
    if frames[0] < 0:
        raise ValueError(f"frame {frames[0]}: frames are whole numbers from 0")
    out_pattern = _checked_pattern(out_pattern)
    _loomwork._check_frames(frame_path(out_pattern, frames[0]), width, height, output, bits, threads)
    if chunk_size is not None and chunk_size < 1:
        raise ValueError("chunk_size must be 1 or more")
    scene_path = ""
    if isinstance(texture_or_scene, (str, os.PathLike)):
        scene = scene_path = os.fspath(texture_or_scene)
        if manifest is not None:
            textures = _loomwork.load_scene(scene)
            tex = textures[entry] if entry is not None else next(iter(textures.values()))
    else:
        if isinstance(texture_or_scene, dict) and entry is None:
            entry = next(iter(texture_or_scene), None)
        scene = _loomwork._scene_bytes(texture_or_scene)
        tex = texture_or_scene[entry] if isinstance(texture_or_scene, dict) else texture_or_scene
        if not isinstance(texture_or_scene, dict):
            entry = None
    report = RenderReport()
    first, last = frames[0], frames[-1]
    if resume:
        report.skipped = [f for f in frames
                          if _loomwork._frame_complete([frame_path(out_pattern, f)], width, height)]
        frames = [f for f in frames if f not in set(report.skipped)]
    if manifest is not None:
        command = ["loomwork.distributed.render_frames", f"out_pattern={out_pattern}",
                   f"width={width}", f"height={height}", f"output={output}", f"bits={bits}"]
        if resume:
            command.append("resume=True")
        _loomwork._write_frames_manifest(manifest, tex, command, scene_path, entry or "", width,
                                         height, output, out_pattern, bits, first, last)
    if not frames:
        return report
    if chunk_size is None:
        workers = max(1, len(client.scheduler_info().get("workers", {})))
        chunk_size = max(1, math.ceil(len(frames) / (4 * workers)))
    from dask.distributed import as_completed

    args = (width, height, output, bits, threads)
    bar = _Progress(len(frames), progress)
    failed: dict[int, str] = {}
    # pure=False: a chunk sent again (a retry) is a new task, not the cached result.
    futures = [client.submit(_render_chunk, scene, entry, chunk, out_pattern, *args, pure=False)
               for chunk in _chunks(frames, chunk_size)]
    chunk_of = {f.key: chunk for f, chunk in zip(futures, _chunks(frames, chunk_size))}
    retried_keys = set()
    pending = as_completed(futures)
    try:
        for future in pending:
            chunk = chunk_of[future.key]
            try:
                done, bad = future.result()
            except Exception as e:  # the whole task failed (for instance its worker kept dying)
                done, bad = [], {f: f"{type(e).__name__}: {e}" for f in chunk}
            report.done.extend(done)
            bar.add(len(done))
            if bad and future.key not in retried_keys:
                again = sorted(bad)
                report.retried.extend(again)
                retry = client.submit(_render_chunk, scene, entry, again, out_pattern, *args, pure=False)
                chunk_of[retry.key] = again
                retried_keys.add(retry.key)
                pending.add(retry)
            else:
                failed.update(bad)
                bar.add(len(bad))
    finally:
        bar.finish()
    report.done.sort()
    if failed:
        raise FramesFailed(failed, report.done)
    return report
