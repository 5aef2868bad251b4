#!/usr/bin/env python3
"""Writes loomhost's manual page and bash completion from the program's own --help.

    help_docs.py LOOMHOST --man OUT.1.gz --completion OUT.bash [--version V]

Every command's help is read (`loomhost CMD [SUB] --help`), so the manual and the
completion list exactly the commands and options the program accepts.
"""
import argparse
import gzip
import re
import subprocess
import sys

ENTRY = re.compile(r"^  (\S.*?)(?:\s{2,}(\S.*))?$")


class Command:
    def __init__(self, path, summary, usage, sections):
        self.path = path  # ["scene", "new"]
        self.summary = summary
        self.usage = usage
        self.positionals = sections.get("Positionals", [])
        self.options = sections.get("Options", [])
        self.subcommands = []  # Command, filled by the reader


def run_help(program, path):
    out = subprocess.run([program, *path, "--help"], check=True, capture_output=True,
                         text=True, timeout=60).stdout
    lines = out.splitlines()
    summary = lines[0].strip() if lines else ""
    usage = ""
    sections = {}
    current = None
    for line in lines[1:]:
        if line.startswith("Usage:"):
            # The program's path as it was called is replaced by its name.
            usage = re.sub(r"^Usage: \S+", "loomhost", line)
        elif re.match(r"^[A-Z][A-Za-z]*:$", line):
            current = line[:-1]
            sections[current] = []
        elif current and (m := ENTRY.match(line)):
            sections[current].append((m.group(1).strip(), (m.group(2) or "").strip()))
    return summary, usage, sections


def read_command(program, path):
    summary, usage, sections = run_help(program, path)
    cmd = Command(path, summary, usage, sections)
    for name, _ in sections.get("Subcommands", []):
        cmd.subcommands.append(read_command(program, path + [name]))
    return cmd


def option_flags(usage):
    """'-o,--out TEXT REQUIRED' -> ['-o', '--out']"""
    return [f for f in usage.split()[0].split(",") if f.startswith("-")]


VALUE_TYPE = re.compile(r"^[A-Z][A-Z0-9]*(\[.*\])?(=.*)?$")


def takes_value(usage):
    """'--size TEXT=256x256' takes one; '--mono Excludes: --normal' does not."""
    words = usage.split()
    return len(words) > 1 and bool(VALUE_TYPE.match(words[1]))


# The values an option takes, where they are a fixed set. Each word must appear in the
# option's own --help text (checked when the completion is written), so that the two
# cannot drift apart.
CHOICES = {
    "--method": "grey half-colour colour dubois",
    "--glasses": "red-cyan green-magenta amber-blue",
    "--left-eye": "red green blue",
    "--right-eye": "red green blue",
    "--output": "color mono normal",
    "--codec": "h264 h265 ffv1 prores png",
    "--layout": "sbs-left sbs-right sbs-half-left sbs-half-right tb-left tb-right "
                "tb-half-left tb-half-right",
    "--format": "png tif exr jpg",
    "--on-error": "stop skip continue",
    "--progress": "auto bar lines json none",
}


# Options that take a comma-separated list of their choices.
LIST_CHOICES = {"--output"}


def option_choices(commands):
    """{flag: words} for the options of CHOICES that some command has, with the words its
    help names (a word the help does not name is left out)."""
    found = {}
    for cmd in commands:
        for usage, desc in cmd.options:
            for flag in option_flags(usage):
                if flag in CHOICES:
                    words = [w for w in CHOICES[flag].split()
                             if re.search(r"(?<![\w-])" + re.escape(w) + r"(?![\w-])",
                                          usage + " " + desc)]
                    found.setdefault(flag, set()).update(words)
    return {k: sorted(v) for k, v in found.items() if v}


def all_commands(root):
    out = [root]
    for sub in root.subcommands:
        out += all_commands(sub)
    return out


# ---- manual page -------------------------------------------------------------------------

# Commands a new user starts from, each with what it does.
EXAMPLES = [
    ("loomhost list", "The classes the plug-ins give, with the file each came from."),
    ("loomhost params nimbra", "A texture's parameters: type, default and whether each animates."),
    ("loomhost render nimbra -o clouds.png --size 512x512 --set \"Detail=12\"",
     "A texture rendered to a picture, one parameter changed."),
    ("loomhost render nimbra -o anim.png --frames 0-29 --key \"U Shift@0=0\" "
     "--key \"U Shift@29=20\"", "An animation: 30 frames, anim_0000.png to anim_0029.png."),
    ("loomhost render nimbra -o f.png --frames 0-9999 --shard 3/8 --manifest f.json --resume",
     "Part 3 of 8 of a long range, as one machine of a farm renders it; run again, it "
     "renders only what is missing, and refuses (naming them) settings other than those "
     "f.json recorded."),
    ("loomhost render nimbra -o f.png --frames 1-3,5,7-20:2",
     "A frame list as render farms write it: frames 1, 2, 3, 5 and every second frame from 7."),
    ("loomhost anaglyph left.png right.png -o anaglyph.png --method dubois",
     "A stereo pair composed into a red-cyan anaglyph."),
    ("loomhost anaglyph trip_sbs.mp4 -o trip.mp4 --codec h264 --crf 20",
     "A side-by-side stereo video composed frame by frame, with its sound."),
    ("loomhost edit --port 8420 --open nimbra",
     "The material editor in a browser, on 127.0.0.1 only."),
]

def roff(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text[:1] in (".", "'") else text


def man_options(options):
    out = []
    for usage, desc in options:
        words = usage.split()
        out.append(".TP")
        out.append("\\fB" + roff(words[0]) + "\\fR" +
                   ("" if len(words) == 1 else " \\fI" + roff(" ".join(words[1:])) + "\\fR"))
        out.append(roff(desc))
    return out


def man_page(root, version):
    out = [
        '.TH LOOMHOST 1 "" "loomwork %s" "User Commands"' % version,
        ".SH NAME",
        "loomhost \\- " + roff(root.summary.split(": ", 1)[-1]),
        ".SH SYNOPSIS",
        "\\fBloomhost\\fR [\\fIOPTIONS\\fR] \\fICOMMAND\\fR [\\fIARGS\\fR]",
        ".SH DESCRIPTION",
        "loomhost loads texture and image-filter plug-ins and runs them: it lists them,",
        "evaluates and renders textures, opens their panels, writes scene files, composes",
        "anaglyphs and serves the material editor to a browser.",
        "Each command's options are listed below and by \\fBloomhost \\fICOMMAND\\fB \\-\\-help\\fR.",
        ".SH OPTIONS",
    ]
    out += man_options(root.options)
    out.append(".SH COMMANDS")

    def command(cmd):
        out.append(".SS " + roff(" ".join(cmd.path)))
        out.append(roff(cmd.summary))
        if cmd.usage:
            out.extend([".PP", ".nf", roff(cmd.usage), ".fi"])
        out.extend(man_options(cmd.positionals))
        out.extend(man_options([o for o in cmd.options if "--help" not in o[0]]))
        for sub in cmd.subcommands:
            command(sub)

    for cmd in root.subcommands:
        command(cmd)
    out.append(".SH EXAMPLES")
    for example, says in EXAMPLES:
        out += [".PP", roff(says), ".RS", ".nf", roff(example), ".fi", ".RE"]
    out += [
        ".SH EXIT STATUS",
        ".TP", "\\fB0\\fR", "The command did what was asked.",
        ".TP", "\\fB1\\fR",
        "The command failed: one line on standard error, \\fBloomhost: error:\\fR, names the "
        "file and the cause. Nothing half-written is left under an output's name.",
        ".TP", "\\fB100\\(en127\\fR",
        "The command line itself was refused (an unknown option, a missing or invalid value); "
        "the message says which.",
        ".SH ENVIRONMENT",
        ".TP", "\\fBLOOMHOST_PLUGINS\\fR",
        "Folders of plug-ins, separated by colons, searched first.",
        ".TP", "\\fBXDG_DATA_HOME\\fR",
        "The user's plug-ins are in \\fI$XDG_DATA_HOME/loomwork/plugins\\fR "
        "(\\fI~/.local/share/loomwork/plugins\\fR when unset).",
        ".TP", "\\fBSLURM_ARRAY_TASK_ID\\fR, \\fBSLURM_ARRAY_TASK_COUNT\\fR, "
        "\\fBSLURM_ARRAY_TASK_MIN\\fR, \\fBSLURM_ARRAY_TASK_STEP\\fR",
        "Without \\fB\\-\\-shard\\fR, a frame range rendered or composed in a Slurm job "
        "array's task is split among the array's tasks: the task renders its part. The ID "
        "without the count is refused.",
        ".TP", "\\fBLOOM_EDIT_TOKEN\\fR",
        "The editor's session token (\\fBedit \\-\\-token\\fR), instead of a random one.",
        ".TP", "\\fBLOOM_ISA\\fR",
        "The vector instruction set the textures and the stereo filter use: "
        "\\fBavx512\\fR, \\fBavx2\\fR, \\fBsse2\\fR or \\fBscalar\\fR (one the processor "
        "lacks is ignored). Every set gives the same bits; the default is the widest "
        "available.",
        ".SH FILES",
        ".TP", "\\fI<prefix>/lib/loomwork/plugins\\fR",
        "The plug-ins installed with loomhost, searched after the folders above. A class "
        "found again in a later folder is reported and skipped. \\fB\\-\\-plugins\\fR "
        "replaces the whole search.",
        ".TP", "\\fI<prefix>/lib/cmake/Loomwork\\fR",
        "The CMake package for building plug-ins: \\fBfind_package(Loomwork)\\fR and "
        "\\fBadd_loom_plugin\\fR.",
    ]
    return "\n".join(out) + "\n"


# ---- bash completion ---------------------------------------------------------------------

def shell_words(words):
    return " ".join(sorted(set(words)))


# Commands whose CLASS is a texture: the stereo filter is not offered there. A CLASS (or
# an option's value) whose help says "Texture class" is one too.
TEXTURE_COMMANDS = {"eval", "params", "render", "viewport", "panel", "scene new", "scene add"}


def names_texture(desc):
    return "Texture class" in desc


def completion(root):
    # After an option that takes a value: its choices, parameter names after --set and
    # --key, else nothing, so that bash falls back to file names (-o default). CLASS
    # arguments complete the classes of the plug-ins found (only textures where only a
    # texture fits).
    value_opts = set()
    cases = []

    def add(cmd):
        key = " ".join(cmd.path)
        flags = [f for usage, _ in cmd.options for f in option_flags(usage)]
        subs = [s.path[-1] for s in cmd.subcommands]
        for usage, _ in cmd.options:
            if takes_value(usage):
                value_opts.update(option_flags(usage))
        classes = 0
        class_args = [p for p in cmd.positionals
                      if p[0].startswith("CLASS") or p[1].startswith("CLASS")]
        if class_args:
            textures = key in TEXTURE_COMMANDS or any(names_texture(p[1]) for p in class_args)
            classes = 2 if textures else 1
        cases.append('        "%s") words="%s"; classes=%d ;;'
                     % (key, shell_words(flags + subs), classes))
        for sub in cmd.subcommands:
            add(sub)

    for cmd in root.subcommands:
        add(cmd)
    for usage, _ in root.options:
        if takes_value(usage):
            value_opts.update(option_flags(usage))
    top = [f for usage, _ in root.options for f in option_flags(usage)]
    top += [c.path[0] for c in root.subcommands]
    nested = {c.path[0]: [s.path[-1] for s in c.subcommands] for c in root.subcommands}
    nested_cases = "\n".join('            %s) [[ " %s " == *" $w "* ]] && path+=" $w" ;;'
                             % (k, " ".join(v)) for k, v in nested.items() if v)
    choices = option_choices(all_commands(root))
    # Options whose value is a texture class (edit --open).
    texture_opts = sorted({f for cmd in all_commands(root) for usage, desc in cmd.options
                           if takes_value(usage) and names_texture(desc)
                           for f in option_flags(usage)})
    # A list option completes its last word after the commas ("color,m" -> "color,mono").
    choice_cases = "\n".join(
        ('        %s) local head=""; [[ $cur == *,* ]] && head=${cur%%,*},\n'
         '            COMPREPLY=($(compgen -P "$head" -W "%s" -- "${cur##*,}"))\n'
         '            compopt -o nospace 2>/dev/null; return ;;'
         if flag in LIST_CHOICES else
         '        %s) COMPREPLY=($(compgen -W "%s" -- "$cur")); return ;;')
        % (flag, " ".join(words)) for flag, words in sorted(choices.items()))
    return """# bash completion for loomhost, generated from its --help
_loomhost_classes() {  # the classes found; $1 = 1: textures only
    "${COMP_WORDS[0]}" list 2>/dev/null | awk -v textures="$1" '
        /\\.so$/ { n = split($0, p, "/"); name = p[n]; sub(/\\.so$/, "", name) }
        /category:/ { if (!textures || $0 !~ /Image Filter/) print name }'
}
_loomhost() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local path="" w i words classes=0 cls=""
    # The command (and a second-level command) named so far, and its class.
    for ((i = 1; i < COMP_CWORD; i++)); do
        w=${COMP_WORDS[i]}
        [[ $w == -* ]] && continue
        if [[ -z $path ]]; then
            [[ " %(top)s " == *" $w "* ]] && path=$w
        else
            case $path in
%(nested)s
            esac
            [[ $w != "$path" && -z $cls && " $(_loomhost_classes 0 | tr '\\n' ' ') " == *" $w "* ]] && cls=$w
        fi
    done
    case $prev in
%(choices)s
%(texture_opts)s
        --preset)
            # The buttons of the class's panel that --preset clicks.
            [[ -n $cls ]] || return
            local IFS=$'\\n' name
            COMPREPLY=()
            while read -r name; do
                [[ $name == "$cur"* ]] && COMPREPLY+=("$(printf '%%q' "$name")")
            done < <("${COMP_WORDS[0]}" params "$cls" --presets 2>/dev/null)
            return ;;
        --set|--key)
            # NAME= of the class's parameters (from loomhost params CLASS).
            [[ -n $cls ]] || return
            local IFS=$'\\n' name
            COMPREPLY=()
            while read -r name; do
                [[ $name == "$cur"* ]] && COMPREPLY+=("$(printf '%%q' "$name")=")
            done < <("${COMP_WORDS[0]}" params "$cls" 2>/dev/null |
                     awk 'NR > 1 && $1 ~ /^[0-9]+$/ { sub(/^[0-9]+ +/, ""); sub(/ +(float|int|color|colour|bool|map|string|texmap|point3)( .*)?$/, ""); print }')
            compopt -o nospace 2>/dev/null
            return ;;
        %(values)s)
            COMPREPLY=()
            return ;;
    esac
    case $path in
        "") words="%(top)s" ;;
%(cases)s
        *) words="" ;;
    esac
    COMPREPLY=($(compgen -W "$words" -- "$cur"))
    if ((classes)) && [[ $cur != -* ]]; then
        local textures=0
        ((classes == 2)) && textures=1
        COMPREPLY+=($(compgen -W "$(_loomhost_classes $textures)" -- "$cur"))
    fi
}
complete -o default -F _loomhost loomhost
""" % {"top": shell_words(top), "nested": nested_cases or "            *) ;;",
       "choices": choice_cases,
       "texture_opts": ("        %s) COMPREPLY=($(compgen -W \"$(_loomhost_classes 1)\" -- \"$cur\")); "
                        "return ;;" % "|".join(texture_opts)) if texture_opts else "",
       "values": "|".join(sorted(value_opts)) or "--plugins", "cases": "\n".join(cases)}


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("program")
    ap.add_argument("--man", required=True)
    ap.add_argument("--completion", required=True)
    ap.add_argument("--version", default="")
    args = ap.parse_args()
    try:
        root = read_command(args.program, [])
    except (OSError, subprocess.SubprocessError) as e:
        sys.exit("help_docs: %s: %s" % (args.program, e))
    if not root.subcommands:
        sys.exit("help_docs: %s --help lists no commands" % args.program)
    page = man_page(root, args.version).encode()
    # mtime 0: the same help gives the same bytes, so packages build reproducibly.
    with open(args.man, "wb") as f, gzip.GzipFile(fileobj=f, mode="wb", mtime=0,
                                                  filename="") as z:
        z.write(page)
    with open(args.completion, "w") as f:
        f.write(completion(root))


if __name__ == "__main__":
    main()
