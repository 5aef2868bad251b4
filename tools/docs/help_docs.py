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


def takes_value(usage):
    return len(usage.split()) > 1


# ---- manual page -------------------------------------------------------------------------

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
    out += [
        ".SH ENVIRONMENT",
        ".TP", "\\fBLOOMHOST_PLUGINS\\fR",
        "Folders of plug-ins, separated by colons, searched first.",
        ".TP", "\\fBXDG_DATA_HOME\\fR",
        "The user's plug-ins are in \\fI$XDG_DATA_HOME/loomwork/plugins\\fR "
        "(\\fI~/.local/share/loomwork/plugins\\fR when unset).",
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


def completion(root):
    # After an option that takes a value nothing is offered, so that bash falls back to
    # file names (-o default); CLASS arguments complete the classes of the plug-ins found.
    value_opts = set()
    cases = []

    def add(cmd):
        key = " ".join(cmd.path)
        flags = [f for usage, _ in cmd.options for f in option_flags(usage)]
        subs = [s.path[-1] for s in cmd.subcommands]
        for usage, _ in cmd.options:
            if takes_value(usage):
                value_opts.update(option_flags(usage))
        classes = any(p[0].startswith("CLASS") for p in cmd.positionals)
        cases.append('        "%s") words="%s"; classes=%d ;;'
                     % (key, shell_words(flags + subs), 1 if classes else 0))
        for sub in cmd.subcommands:
            add(sub)

    for cmd in root.subcommands:
        add(cmd)
    top = [f for usage, _ in root.options for f in option_flags(usage)]
    top += [c.path[0] for c in root.subcommands]
    nested = {c.path[0]: [s.path[-1] for s in c.subcommands] for c in root.subcommands}
    nested_cases = "\n".join('            %s) [[ " %s " == *" $w "* ]] && path+=" $w" ;;'
                             % (k, " ".join(v)) for k, v in nested.items() if v)
    return """# bash completion for loomhost, generated from its --help
_loomhost() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local path="" w i words classes=0
    # The command (and a second-level command) named so far.
    for ((i = 1; i < COMP_CWORD; i++)); do
        w=${COMP_WORDS[i]}
        [[ $w == -* ]] && continue
        if [[ -z $path ]]; then
            [[ " %(top)s " == *" $w "* ]] && path=$w
        else
            case $path in
%(nested)s
            esac
        fi
    done
    case $prev in
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
        local names
        names=$("${COMP_WORDS[0]}" list 2>/dev/null | sed -n 's|.*/\\([^/]*\\)\\.so$|\\1|p')
        COMPREPLY+=($(compgen -W "$names" -- "$cur"))
    fi
}
complete -o default -F _loomhost loomhost
""" % {"top": shell_words(top), "nested": nested_cases or "            *) ;;",
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
