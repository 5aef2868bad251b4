#!/usr/bin/env python3
"""Writes the gallery's index.html from the commands the demo ran.

The demo records every loomhost command it runs, one per line, its arguments separated by
the ASCII unit separator (0x1f). This script turns that record into one page that opens
from the file system: a few of the best pictures first, under a short navigation; then a
section per texture and for the stereo filter, each a grid that fills the window's width
(colours with their normal maps inset, tiles and sheets over two cells, animations as
strips of frames, videos with their posters, anaglyphs with the views they were made from,
the methods sheet labelled, the alignment's diagnostic sheet); then the pictures made
through other programs (gegl, FFmpeg, melt) with the plug-ins for them. Each picture
carries the command line that made it, paths relative to the project, behind a
"command" toggle. A line "other", OUTPUT, COMMAND records a command of another program.

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
    "--diagnostic", "--report", "--parallax", "--crop", "--matrix", "--output-layout",
}
POSTER_SUFFIXES = ("_poster.jpg", "_poster.png")


@dataclass
class Picture:
    """One made picture (or strip of frames, or video) and the command that made it."""
    title: str
    files: list
    args: list  # the recorded command ("other", OUTPUT, COMMAND for other programs)
    kind: str = "still"  # still, strip, video, anaglyph, sheet (the four methods)
    inputs: list = field(default_factory=list)
    group: str = ""  # overrides the group the command's options give
    note: str = ""
    poster: str = ""
    wide: bool = False


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
    if option_value(args, "--sheet") and command == "render":
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
                        [relative(args[1], out_dir)], args)]
    output = option_value(args, "-o")
    if command not in ("render", "viewport", "anaglyph", "calibrate") or not output:
        return []
    title = os.path.splitext(os.path.basename(output))[0]
    if output.endswith(VIDEO_SUFFIXES):
        # Lossless clips (the stereo views a video anaglyph is made from) do not play in a
        # browser: the video made from them shows.
        if option_value(args, "--codec") in BROWSERLESS_CODECS:
            return []
        stem = os.path.splitext(output)[0]
        posters = [stem + s for s in POSTER_SUFFIXES if os.path.exists(stem + s)]
        return [Picture(title, [relative(output, out_dir)], args, "video", inputs=[
            relative(p, out_dir) for p in positional(args) if os.path.exists(p)],
            poster=relative(posters[0], out_dir) if posters else "")]
    if option_value(args, "--frames") and command == "render":
        # Frames the demo made only as inputs of something else and then removed are left out.
        frames = frame_files(output, out_dir)
        return [Picture(title, frames, args, "strip")] if frames else []
    files = [relative(output, out_dir)]
    outputs = (option_value(args, "--output") or "color").split(",")
    stem, suffix = os.path.splitext(output)
    files += [relative(f"{stem}_{kind}{suffix}", out_dir) for kind in outputs if kind != "color"]
    if command == "anaglyph":
        if "--sheet" in args:
            return [Picture(title, files, args, "sheet")]
        sources = positional(args)
        sbs = option_value(args, "--sbs")
        if sbs:
            sources = [sbs]
        diagnostic = option_value(args, "--diagnostic")
        aligned = "--align" in args or any(a.startswith("--align=") for a in args)
        made = [Picture(title, files, args, "anaglyph" if not sbs else "still",
                        inputs=[relative(p, out_dir) for p in sources] if not sbs else [],
                        group="Alignment" if aligned else "", wide=bool(sbs),
                        note="from one side-by-side picture" if sbs else "")]
        if diagnostic:
            made.append(Picture(os.path.splitext(os.path.basename(diagnostic))[0],
                                [relative(diagnostic, out_dir)], args, group="Alignment",
                                wide=True, note="matches, residuals, disparities and crop"))
        return made
    wide = (command == "calibrate" or option_value(args, "--sheet") is not None
            or option_value(args, "--tiles") is not None)
    return [Picture(title, files, args, wide=wide)]


def read_commands(log_path):
    with open(log_path, encoding="utf-8") as log:
        for line in log:
            line = line.rstrip("\n")
            if line:
                yield line.split("\x1f")


def project_relative(text, root, out_dir):
    """TEXT with the project's absolute paths made relative to it (as run from its top),
    and other paths into the output folder named by that folder."""
    text = text.replace(root + os.sep, "")
    out_abs = os.path.abspath(out_dir)
    if not (out_abs + os.sep).startswith(root + os.sep):
        text = text.replace(out_abs + os.sep, os.path.basename(out_abs) + os.sep)
    return text


def shell_lines(words, width=68):
    """A command laid out as one would type it: options with their values kept together,
    lines continued with a backslash when they grow past WIDTH."""
    quoted = [shlex.quote(w) for w in words]
    units, i = [], 0
    while i < len(quoted):
        unit = quoted[i]
        if (words[i].startswith("-") and i + 1 < len(quoted)
                and not words[i + 1].startswith("-")):
            unit += " " + quoted[i + 1]
            i += 1
        units.append(unit)
        i += 1
    lines, line = [], ""
    for unit in units:
        if line and len(line) + 1 + len(unit) > width:
            lines.append(line)
            line = "  " + unit
        else:
            line = f"{line} {unit}" if line else unit
    lines.append(line)
    return " \\\n".join(lines)


def shown_command(args, root, out_dir):
    """The command line a reader can type from the project's top folder."""
    if args[0] == "other":
        try:
            words = shlex.split(args[2])
        except ValueError:  # not quoted as a shell reads it: shown as recorded
            return project_relative(args[2], root, out_dir)
        return shell_lines([project_relative(w, root, out_dir) for w in words])
    return shell_lines(["loomhost"] + [project_relative(a, root, out_dir) for a in args])


def readable_title(title, section):
    """'voltrane_goo_phase' in the voltrane section reads 'Goo phase'."""
    words = title
    if section and words.startswith(section + "_"):
        words = words[len(section) + 1:]
    words = words.replace("_", " ").strip() or title
    return words[0].upper() + words[1:]


# What each quarter of the four methods' sheet (anaglyph --sheet) shows, in reading order.
METHOD_SHEET_LABELS = ("grey, through the filter", "half-colour", "colour", "Dubois")
# The pictures the page opens with, best first; those the demo did not make are left out.
HIGHLIGHTS = ("stereo_red_cyan", "fervix_tile", "nimbra_stormy", "voltrane_maps",
              "lumidot_tile", "fervix_fractal", "voltrane_goo_phase")
SECTION_NOTES = {
    "dioptrix": "The stereo views are three textured spheres, each rendered from two eyes "
                "(<code>render --sphere --eye</code>), set at different distances before a "
                "Fervix wall with <code>oiiotool</code> "
                "(<code>scripts/demo.d/50-dioptrix.sh</code>). Red-cyan glasses show the depth.",
}


def view_label(path, eye):
    """'left view', or 'right view, askew' for a file named ..._right_askew.png."""
    stem = os.path.splitext(os.path.basename(path))[0]
    rest = stem.split(f"_{eye}_", 1)[1].replace("_", " ") if f"_{eye}_" in stem else ""
    return f"{eye} view, {rest}" if rest else f"{eye} view"


def picture_size(path):
    """(width, height) of a PNG or JPEG file, or None."""
    try:
        with open(path, "rb") as f:
            head = f.read(65536)
    except OSError:
        return None
    if head[:8] == b"\x89PNG\r\n\x1a\n" and len(head) >= 24:
        return int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")
    i = 2
    while head[:2] == b"\xff\xd8" and i + 9 < len(head):
        marker, length = head[i + 1], int.from_bytes(head[i + 2:i + 4], "big")
        if marker in (0xC0, 0xC1, 0xC2):
            return int.from_bytes(head[i + 7:i + 9], "big"), int.from_bytes(head[i + 5:i + 7], "big")
        i += 2 + length
    return None


def card_class(picture, out_dir):
    """How much of the grid a card takes: one cell, two side by side (wide pictures), two by
    two (large square ones) or a whole row (strips of frames)."""
    if picture.kind == "strip":
        return "card full"
    if not (picture.kind in ("anaglyph", "sheet") or picture.wide):
        return "card"
    size = picture_size(os.path.join(out_dir, picture.files[0]))
    if size and size[0] >= 1.3 * size[1]:
        return "card wide"
    return "card big"


def figure(picture, out_dir, root, section, group_note=""):
    def img(path, alt, cls=""):
        # Each picture opens at its full size.
        extra = f' class="{cls}"' if cls else ""
        return (f'<a href="{html.escape(path)}"><img src="{html.escape(path)}" '
                f'alt="{html.escape(alt)}"{extra} title="{html.escape(path)}"></a>')

    parts = []
    size = picture_size(os.path.join(out_dir, picture.files[0]))
    pixels = "pixels" if size and size[0] <= 128 else ""
    if picture.kind == "anaglyph":
        views = "".join(f'<div class="view">{img(p, p)}<span>{html.escape(view_label(p, eye))}'
                        f'</span></div>' for p, eye in zip(picture.inputs, ("left", "right")))
        parts.append(f'{img(picture.files[0], picture.title)}<div class="views">{views}</div>')
    elif picture.kind == "sheet":
        labels = "".join(f'<span class="q{i}">{html.escape(t)}</span>'
                         for i, t in enumerate(METHOD_SHEET_LABELS))
        parts.append(f'<div class="labelled">{img(picture.files[0], picture.title)}'
                     f'{labels}</div>')
    elif picture.kind == "strip":
        parts.append('<div class="strip">' + "".join(img(p, p) for p in picture.files) + "</div>")
    elif picture.kind == "video":
        poster = picture.poster
        poster_attr = f' poster="{html.escape(poster)}"' if poster else ""
        parts.append(f'<video controls loop muted playsinline preload="metadata"{poster_attr} '
                     f'src="{html.escape(picture.files[0])}"></video>')
    elif len(picture.files) == 2 and picture.files[1].endswith("_normal" + os.path.splitext(
            picture.files[1])[1]):
        # The colour large, its normal map in the corner.
        parts.append(f'<div class="inset">{img(picture.files[0], picture.title, pixels)}'
                     f'{img(picture.files[1], "normal map", "normal")}</div>')
    else:
        parts.append("".join(img(p, p, pixels) for p in picture.files))
    missing = [p for p in picture.files + picture.inputs + ([picture.poster] if picture.poster else [])
               if not os.path.exists(os.path.join(out_dir, p))]
    if missing:
        raise FileNotFoundError(f"{picture.title}: the demo recorded {missing[0]} but did not write it")
    classes = card_class(picture, out_dir)
    said = picture.note or group_note
    note = f'<span class="note">{html.escape(said)}</span>' if said else ""
    command = shown_command(picture.args, root, out_dir)
    return (f'<figure id="{html.escape(picture.title)}" class="{classes}">{"".join(parts)}'
            f'<figcaption><span class="title">{html.escape(readable_title(picture.title, section))}'
            f'</span>{note}<details><summary>command</summary><code>{html.escape(command)}'
            f'</code></details></figcaption></figure>')


STYLE = """
*{box-sizing:border-box}
body{font:15px/1.45 'Liberation Sans',Arial,sans-serif;margin:0;background:#1d1f22;color:#e8e6e1}
header{position:sticky;top:0;z-index:2;display:flex;flex-wrap:wrap;gap:.4em 1.4em;align-items:baseline;
  padding:.6em 1.5em;background:rgba(24,26,29,.95);border-bottom:1px solid #3a3d42}
header h1{font-size:1.25em;margin:0 .6em 0 0}
nav a{color:#9cc8ff;text-decoration:none;margin-right:1.1em;white-space:nowrap}
nav a:hover{text-decoration:underline}
main{padding:0 1.5em 2em}
section{margin-top:1.6em}
h2{font-size:1.3em;margin:0 0 .5em;padding-bottom:.2em;border-bottom:1px solid #3a3d42}
h3{font-size:1em;color:#b9b6ae;margin:1em 0 .45em;font-weight:normal;letter-spacing:.02em}
p.intro{margin:.2em 0 .8em;max-width:70em;color:#c9c6bf}
p.intro code{font-size:.9em;color:#e8e6e1}
.grid{display:grid;grid-template-columns:repeat(auto-fill,minmax(172px,1fr));gap:10px;
  align-items:start;grid-auto-flow:dense}
.card{margin:0;background:#2a2d31;border-radius:6px;padding:6px;min-width:0}
.card.wide{grid-column:span 2}.card.full{grid-column:1/-1}
.card.big{grid-column:span 2;grid-row:span 2}
.columns{columns:330px;column-gap:10px}
.columns .card{break-inside:avoid;margin-bottom:10px}
.card a{display:block}
.card img,.card video{display:block;width:100%;height:auto;border-radius:3px}
.card img.pixels{image-rendering:pixelated}
.inset{position:relative}
.inset img.normal{position:absolute;right:6px;bottom:6px;width:32%;border:2px solid #2a2d31}
.views{display:grid;grid-template-columns:1fr 1fr;gap:6px;margin-top:6px}
.view span{display:block;font-size:.8em;color:#a9a6a0;text-align:center}
.labelled{position:relative}
.labelled span{position:absolute;background:rgba(0,0,0,.7);color:#fff;font-size:.85em;
  padding:.1em .5em;border-radius:3px}
.labelled .q0{left:6px;top:6px}.labelled .q1{left:calc(50% + 6px);top:6px}
.labelled .q2{left:6px;top:calc(50% + 6px)}.labelled .q3{left:calc(50% + 6px);top:calc(50% + 6px)}
.strip{display:grid;grid-template-columns:repeat(auto-fit,minmax(60px,1fr));gap:4px}
figcaption{margin-top:.35em}
figcaption .title{font-weight:bold}
figcaption .note{color:#a9a6a0;margin-left:.5em;font-size:.9em}
details summary{cursor:pointer;color:#8f8c86;font-size:.85em}
details code{display:block;margin-top:.3em;font:12.5px/1.45 'Liberation Mono',monospace;
  white-space:pre-wrap;overflow-wrap:anywhere;color:#d6d3cc;background:#1d1f22;padding:.4em .5em;
  border-radius:3px}
.highlights{display:grid;grid-template-columns:repeat(6,1fr);gap:12px;grid-auto-flow:dense}
@media (max-width:900px){.highlights{grid-template-columns:repeat(3,1fr)}}
.hero{display:block;position:relative;color:#fff;text-decoration:none;border-radius:6px;overflow:hidden;
  background:#2a2d31}
.hero img{display:block;width:100%;height:100%;object-fit:cover;aspect-ratio:1}
.hero.big{grid-column:span 3;grid-row:span 2}
.hero.big img{aspect-ratio:auto}
.hero span{position:absolute;left:0;right:0;bottom:0;padding:.3em .6em;
  background:linear-gradient(transparent,rgba(0,0,0,.75))}
.listings a{color:#9cc8ff;margin-right:1.2em}
"""

SECTION_TITLES = {"hosts": "Other programs", "dioptrix": "Stereo", "other": "More"}
# What a card of a group is, said beside its title (the looks need no word).
GROUP_NOTES = {"Seamless tiles": "seamless tile, 2 × 2", "Contact sheets": "contact sheet",
               "Animations": "animation", "Loops": "looping video", "Videos": "video",
               "Presets": "preset", "Viewport bitmaps": "viewport bitmap",
               "Calibration": "calibration picture", "Methods": "the four methods",
               "Alignment": "aligned"}
GROUP_ORDER = ("Anaglyphs", "Alignment", "Methods", "Looks", "Viewport bitmaps", "Presets",
               "Seamless tiles", "Contact sheets", "Animations", "Loops", "Videos",
               "Calibration", "Through GEGL, FFmpeg and melt")


def highlight_cards(pictures):
    cards = []
    for name in HIGHLIGHTS:
        found = pictures.get(name)
        if not found:
            continue
        picture, section = found
        big = " big" if not cards else ""
        cards.append(f'<a class="hero{big}" href="#{html.escape(name)}">'
                     f'<img src="{html.escape(picture.files[0])}" alt="{html.escape(name)}">'
                     f'<span>{html.escape(readable_title(name, section))} · '
                     f'{html.escape(SECTION_TITLES.get(section, section.capitalize()))}</span></a>')
    return cards


def write_page(out_dir, log_path, plugins, root=None):
    root = os.path.abspath(root or os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    sections, by_name, shown_pairs = {}, {}, set()
    for args in read_commands(log_path):
        for picture in pictures_of(args, out_dir):
            output = args[1] if args[0] == "other" else option_value(args, "-o")
            section, group = group_of(args, output, plugins)
            if picture.kind == "video":
                group = "Videos"
            elif picture.kind == "sheet":
                group = "Methods"
            elif picture.group:
                group = picture.group
            if picture.kind == "anaglyph":
                # The views show once, beside the first picture made from them.
                pair = tuple(picture.inputs)
                if pair in shown_pairs:
                    picture.kind, picture.inputs, picture.wide = "still", [], True
                shown_pairs.add(pair)
            sections.setdefault(section, {}).setdefault(group, []).append(picture)
            by_name.setdefault(picture.title, (picture, section))
    listings = sorted(n for n in os.listdir(out_dir) if n.endswith(".txt"))

    title = lambda s: SECTION_TITLES.get(s, s.capitalize())
    order = plugins.sections[:-1] + ("hosts",) + plugins.sections[-1:]
    present = [s for s in order if s in sections]
    highlights = highlight_cards(by_name)
    nav = ([('<a href="#highlights">Highlights</a>')] if highlights else [])
    nav += [f'<a href="#{s}">{title(s)}</a>' for s in present]
    if listings:
        nav.append('<a href="#listings">Listings</a>')
    body = ["<header><h1>Loomwork gallery</h1><nav>" + "".join(nav) + "</nav></header><main>"]
    if highlights:
        body.append('<section id="highlights"><div class="highlights">' + "".join(highlights)
                    + "</div></section>")
    for section in present:
        body.append(f'<section><h2 id="{section}">{title(section)}</h2>')
        if section in SECTION_NOTES:
            body.append(f'<p class="intro">{SECTION_NOTES[section]}</p>')
        groups = sections[section]
        cards = [figure(p, out_dir, root, section, GROUP_NOTES.get(group, ""))
                 for group in sorted(groups, key=lambda g: GROUP_ORDER.index(g)
                                     if g in GROUP_ORDER else 99)
                 for p in groups[group]]
        # Cards mostly of two cells and of many heights leave holes in a grid: columns of
        # cards, filled one after the other, pack them.
        large = sum('class="card wide"' in c or 'class="card big"' in c for c in cards)
        layout = "columns" if large * 2 >= len(cards) else "grid"
        body.append(f'<div class="{layout}">')
        body += cards
        body.append("</div>")
        body.append("</section>")
    if listings:
        body.append('<section class="listings"><h2 id="listings">Listings</h2><p>')
        body += [f'<a href="{html.escape(n)}">{html.escape(n)}</a>' for n in listings]
        body.append("</p></section>")
    body.append("</main>")

    page = ("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
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
