#!/usr/bin/env python3
"""Writes the gallery's index.html from the commands the demo ran.

The demo records every loomhost command it runs, one per line, its arguments separated by
the ASCII unit separator (0x1f). This script turns that record into one page that opens
from the file system: the pictures grouped by texture and by preset, each with the command
line that made it, the anaglyphs beside their left and right views, the calibration
picture, the animations as strips of frames, the seamless tiles, contact sheets and loops
(videos the browser plays), and the pictures made through other programs (gegl, FFmpeg,
melt) with the plug-ins for them. A line "other", OUTPUT, COMMAND records one of those.

    gallery_page.py OUT_DIR [COMMAND_LOG] [--plugins BUILD/plugins.json]

COMMAND_LOG defaults to OUT_DIR/commands.log. The sections follow the build's plug-in list
(plugins.json, which the build writes; by default the one in $BUILD or build/): a section
per texture in its order, then the filters.
"""
import argparse
import html
import json
import os
import re
import shlex
import sys
from dataclasses import dataclass, field

IMAGE_SUFFIXES = (".png", ".jpg", ".jpeg", ".tif", ".tiff", ".bmp", ".exr")
VIDEO_SUFFIXES = (".mp4", ".mkv", ".mov", ".webm")
BROWSERLESS_CODECS = ("ffv1", "prores", "png")
# Options whose value is the next argument (so it is never mistaken for an input file).
VALUED_OPTIONS = {
    "-o", "--output", "--size", "--set", "--key", "--preset", "--frames", "--time", "--bits",
    "--eye", "--entry", "--scene", "--left-eye", "--right-eye", "--left-comp", "--right-comp",
    "--threads", "--config", "--sbs", "--layout", "--codec", "--crf", "--bitrate", "--method",
    "--glasses", "--left", "--right", "--plugins", "--seed", "--tiles", "--fps",
}


@dataclass
class Picture:
    """One made picture (or strip of frames, or video) and the command that made it."""
    title: str
    files: list
    command: str
    kind: str = "still"  # still, strip, video, anaglyph
    inputs: list = field(default_factory=list)


def option_value(args, name):
    for i, arg in enumerate(args[:-1]):
        if arg == name:
            return args[i + 1]
    return None


def positional(args):
    """The arguments that are neither options nor option values, after the command name."""
    out, skip = [], False
    for arg in args[1:]:
        if skip:
            skip = False
        elif arg in VALUED_OPTIONS:
            skip = True
        elif not arg.startswith("-"):
            out.append(arg)
    return out


def relative(path, out_dir):
    return os.path.relpath(path, out_dir)


def frame_files(output, out_dir):
    """The numbered files a --frames render wrote for OUTPUT (name_0000.png, ...)."""
    stem, suffix = os.path.splitext(output)
    folder = os.path.dirname(stem) or "."
    pattern = re.compile(re.escape(os.path.basename(stem)) + r"_(\d{4,})" + re.escape(suffix) + "$")
    try:
        names = os.listdir(folder)
    except OSError:
        return []
    frames = sorted(n for n in names if pattern.match(n))
    return [relative(os.path.join(folder, n), out_dir) for n in frames]


@dataclass
class PluginList:
    """The build's plug-ins by kind, in the list's order."""
    textures: tuple
    filters: tuple

    @staticmethod
    def read(path):
        with open(path, encoding="utf-8") as f:
            plugins = json.load(f)["plugins"]
        return PluginList(tuple(p["name"] for p in plugins if p["kind"] == "texture"),
                          tuple(p["name"] for p in plugins if p["kind"] == "filter"))

    @property
    def stereo(self):
        """The section of the stereo commands' pictures: the (first) filter's."""
        return self.filters[0] if self.filters else "other"

    @property
    def sections(self):
        return self.textures + self.filters + ("other",)


def group_of(args, output, plugins):
    """(texture or section, sub-group) a command's picture belongs to."""
    command = args[0]
    name = os.path.basename(output)
    if command == "other":
        return "hosts", "Through GEGL, FFmpeg and melt"
    if command in ("anaglyph", "calibrate"):
        return plugins.stereo, "Calibration" if command == "calibrate" else "Anaglyphs"
    cls = positional(args)[0] if command in ("render", "viewport") and positional(args) else None
    if cls is None or cls not in plugins.textures:
        cls = next((t for t in plugins.textures if name.startswith(t)), "other")
    if option_value(args, "--sheet"):
        return cls, "Contact sheets"
    if "--loop" in args:
        return cls, "Loops"
    if "--tile" in args or option_value(args, "--tiles"):
        return cls, "Seamless tiles"
    if "--preset" in args:
        return cls, "Presets"
    if "--sphere" in args:
        return plugins.stereo, "Stereo views"
    if option_value(args, "--frames"):
        return cls, "Animations"
    if command == "viewport":
        return cls, "Viewport bitmaps"
    return cls, "Looks"


def pictures_of(args, out_dir):
    """The pictures one recorded command made (none for listings and scene edits)."""
    command = args[0]
    if command == "other" and len(args) == 3:
        return [Picture(os.path.splitext(os.path.basename(args[1]))[0],
                        [relative(args[1], out_dir)], args[2])]
    output = option_value(args, "-o")
    if command not in ("render", "viewport", "anaglyph", "calibrate") or not output:
        return []
    shown = "loomhost " + shlex.join(args)
    title = os.path.splitext(os.path.basename(output))[0]
    if output.endswith(VIDEO_SUFFIXES):
        # Lossless clips (the stereo views a video anaglyph is made from) do not play in a
        # browser: the video made from them shows.
        if option_value(args, "--codec") in BROWSERLESS_CODECS:
            return []
        return [Picture(title, [relative(output, out_dir)], shown, "video", inputs=[
            relative(p, out_dir) for p in positional(args) if os.path.exists(p)])]
    if option_value(args, "--frames") and command == "render":
        # Frames the demo made only as inputs of something else and then removed are left out.
        frames = frame_files(output, out_dir)
        return [Picture(title, frames, shown, "strip")] if frames else []
    files = [relative(output, out_dir)]
    outputs = (option_value(args, "--output") or "color").split(",")
    stem, suffix = os.path.splitext(output)
    files += [relative(f"{stem}_{kind}{suffix}", out_dir) for kind in outputs if kind != "color"]
    if command == "anaglyph":
        sources = positional(args)
        sbs = option_value(args, "--sbs")
        if sbs:
            sources = [sbs]
        return [Picture(title, files, shown, "anaglyph",
                        inputs=[relative(p, out_dir) for p in sources])]
    return [Picture(title, files, shown)]


def read_commands(log_path):
    with open(log_path, encoding="utf-8") as log:
        for line in log:
            line = line.rstrip("\n")
            if line:
                yield line.split("\x1f")


def figure(picture, out_dir):
    def img(path, alt):
        return (f'<img src="{html.escape(path)}" alt="{html.escape(alt)}" '
                f'title="{html.escape(path)}" loading="lazy">')

    parts = []
    if picture.kind == "anaglyph":
        views = "".join(f'<div class="view">{img(p, p)}<span>{html.escape(os.path.basename(p))}'
                        f'</span></div>' for p in picture.inputs)
        parts.append(f'<div class="row">{views}<div class="view">{img(picture.files[0], picture.title)}'
                     f'<span>anaglyph</span></div></div>')
    elif picture.kind == "strip":
        parts.append('<div class="strip">' + "".join(img(p, p) for p in picture.files) + "</div>")
    elif picture.kind == "video":
        parts.append(f'<video controls loop muted src="{html.escape(picture.files[0])}"></video>')
    else:
        parts.append('<div class="row">' + "".join(img(p, p) for p in picture.files) + "</div>")
    missing = [p for p in picture.files + picture.inputs
               if not os.path.exists(os.path.join(out_dir, p))]
    if missing:
        raise FileNotFoundError(f"{picture.title}: the demo recorded {missing[0]} but did not write it")
    return (f'<figure id="{html.escape(picture.title)}">{"".join(parts)}'
            f'<figcaption><b>{html.escape(picture.title)}</b>'
            f'<code>{html.escape(picture.command)}</code></figcaption></figure>')


STYLE = """
body{font-family:'Liberation Sans',Arial,sans-serif;margin:1.5em;background:#f4f4f2;color:#222}
h1{margin-top:0}h2{border-bottom:2px solid #999;margin-top:2em}h3{color:#555}
nav a{margin-right:1em}
.grid{display:flex;flex-wrap:wrap;gap:1em}
figure{margin:0;background:#fff;padding:.6em;border:1px solid #ccc;max-width:100%}
figure img{max-width:256px;image-rendering:pixelated;margin-right:.3em}
.strip img{width:96px;margin:0}
.row{display:flex;gap:.4em;align-items:flex-end}.view{text-align:center}
.view span{display:block;font-size:.8em;color:#666}
figcaption code{display:block;font-size:.75em;max-width:40em;white-space:pre-wrap;
  word-break:break-all;color:#444;margin-top:.3em}
video{max-width:512px}
"""

SECTION_TITLES = {"hosts": "Other programs"}
GROUP_ORDER = ("Through GEGL, FFmpeg and melt", "Looks", "Viewport bitmaps", "Animations", "Presets", "Stereo views",
               "Anaglyphs", "Calibration", "Videos")


def write_page(out_dir, log_path, plugins):
    sections = {}
    for args in read_commands(log_path):
        for picture in pictures_of(args, out_dir):
            output = args[1] if args[0] == "other" else option_value(args, "-o")
            section, group = group_of(args, output, plugins)
            if picture.kind == "video":
                group = "Videos"
            sections.setdefault(section, {}).setdefault(group, []).append(picture)
    listings = sorted(n for n in os.listdir(out_dir) if n.endswith(".txt"))

    body = ["<h1>Loomwork gallery</h1>", "<nav>"]
    title = lambda s: SECTION_TITLES.get(s, s.capitalize())
    order = plugins.sections[:-1] + ("hosts",) + plugins.sections[-1:]
    body += [f'<a href="#{s}">{title(s)}</a>' for s in order if s in sections]
    body.append("</nav>")
    for section in order:
        if section not in sections:
            continue
        body.append(f'<h2 id="{section}">{title(section)}</h2>')
        groups = sections[section]
        for group in sorted(groups, key=lambda g: GROUP_ORDER.index(g) if g in GROUP_ORDER else 99):
            body.append(f"<h3>{group}</h3><div class=\"grid\">")
            body += [figure(p, out_dir) for p in groups[group]]
            body.append("</div>")
    if listings:
        body.append('<h2 id="listings">Listings</h2><ul>')
        body += [f'<li><a href="{html.escape(n)}">{html.escape(n)}</a></li>' for n in listings]
        body.append("</ul>")

    page = ("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
            "<title>Loomwork gallery</title><style>" + STYLE + "</style></head><body>\n"
            + "\n".join(body) + "\n</body></html>\n")
    target = os.path.join(out_dir, "index.html")
    temporary = target + ".tmp"
    with open(temporary, "w", encoding="utf-8") as f:
        f.write(page)
    os.replace(temporary, target)
    return target, sum(len(g) for s in sections.values() for g in s.values())


def main(argv):
    parser = argparse.ArgumentParser(prog="gallery_page.py", description=__doc__.splitlines()[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter,
                                     epilog="\n".join(__doc__.splitlines()[1:]))
    parser.add_argument("out_dir")
    parser.add_argument("command_log", nargs="?")
    parser.add_argument("--plugins", default=os.path.join(os.environ.get("BUILD", "build"),
                                                          "plugins.json"),
                        help="the build's plug-in list (default: $BUILD/plugins.json)")
    args = parser.parse_args(argv[1:])
    log_path = args.command_log or os.path.join(args.out_dir, "commands.log")
    try:
        plugins = PluginList.read(args.plugins)
    except (OSError, ValueError, KeyError, TypeError) as error:
        print(f"gallery_page: {args.plugins}: not a plug-in list ({error})", file=sys.stderr)
        return 1
    try:
        target, count = write_page(args.out_dir, log_path, plugins)
    except OSError as error:
        print(f"gallery_page: {error}", file=sys.stderr)
        return 1
    print(f"Gallery page written to {target} ({count} pictures)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
