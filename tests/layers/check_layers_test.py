#!/usr/bin/env python3
"""scripts/check-layers.py on small trees: it passes includes that go down, and fails on one
that goes up, one between folders of the same rank, and a cycle, naming the file."""

import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts",
                      "check-layers.py")


def make_tree(root, files):
    for path, text in files.items():
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", encoding="utf-8") as f:
            f.write(text)


def run(files):
    with tempfile.TemporaryDirectory() as root:
        make_tree(root, files)
        done = subprocess.run([sys.executable, SCRIPT, "--root", root, "--graph"],
                              capture_output=True, text=True)
        return done.returncode, done.stdout, done.stderr


BASE = {
    "foundation/host/base/core.h": "#pragma once\n",
    "foundation/host/sdk/refs.h": '#include "foundation/host/base/core.h"\n',
    "foundation/host/win32/win32.h": '#include "foundation/host/base/core.h"\n',
    "foundation/host/ui/controls.h": '#include "foundation/host/win32/win32.h"\n'
                                     '#include "foundation/host/sdk/refs.h"\n',
    "app/cli/main.cpp": '#include "foundation/host/ui/controls.h"\n#include <vector>\n'
                        '#include "generated_rc.h"\n',
}


class CheckLayers(unittest.TestCase):
    def test_includes_going_down_pass(self):
        code, out, err = run(BASE)
        self.assertEqual(code, 0, err)
        self.assertIn("foundation/host/ui -> foundation/host/win32 (1)", out)
        self.assertIn("app/cli -> foundation/host/ui (1)", out)

    def test_folder_without_rank_is_named_but_passes(self):
        tree = dict(BASE)
        tree["bindings/module.cpp"] = '#include "foundation/host/ui/controls.h"\n'
        code, _, err = run(tree)
        self.assertEqual(code, 0, err)
        self.assertIn("note: bindings holds sources but has no rank", err)

    def test_include_going_up_fails_naming_the_file(self):
        tree = dict(BASE)
        tree["foundation/host/sdk/mtl.cpp"] = '#include "foundation/host/ui/controls.h"\n'
        code, _, err = run(tree)
        self.assertEqual(code, 1)
        self.assertIn("foundation/host/sdk/mtl.cpp: includes foundation/host/ui/controls.h, "
                      "upward", err)

    def test_include_between_folders_of_one_rank_fails(self):
        tree = dict(BASE)
        tree["foundation/host/win32/gdi.cpp"] = '#include "foundation/host/sdk/refs.h"\n'
        code, _, err = run(tree)
        self.assertEqual(code, 1)
        self.assertIn("sideways from foundation/host/win32 to foundation/host/sdk", err)

    def test_cycle_is_named(self):
        tree = dict(BASE)
        tree["foundation/host/base/undo.cpp"] = '#include "foundation/host/sdk/refs.h"\n'
        code, _, err = run(tree)
        self.assertEqual(code, 1)
        cycle = [line for line in err.splitlines() if "cycle between folders: " in line]
        self.assertEqual(len(cycle), 1, err)
        folders = cycle[0].split("cycle between folders: ")[1].split(" -> ")
        self.assertEqual(folders[0], folders[-1])
        self.assertEqual(sorted(folders[:-1]), ["foundation/host/base", "foundation/host/sdk"])

    def test_plugin_folders_come_from_the_list(self):
        tree = dict(BASE)
        tree["plugins.txt"] = "# NAME KIND [FOLDER]\nondra texture\nweft texture examples/weft\n"
        tree["ondra/ondra_tex.cpp"] = '#include "foundation/host/sdk/refs.h"\n'
        tree["examples/weft/weft_tex.cpp"] = '#include "foundation/host/ui/controls.h"\n'
        code, out, err = run(tree)
        self.assertEqual(code, 0, err)
        self.assertIn("ondra -> foundation/host/sdk (1)", out)
        self.assertIn("examples/weft -> foundation/host/ui (1)", out)
        # Two plug-ins share a rank, and the application ranks above them.
        tree["ondra/ondra_tex.cpp"] = '#include "examples/weft/weft_tex.cpp"\n'
        tree["foundation/host/ui/controls.cpp"] = '#include "ondra/ondra_tex.cpp"\n'
        code, _, err = run(tree)
        self.assertEqual(code, 1)
        self.assertIn("sideways from ondra to examples/weft", err)
        self.assertIn("upward from foundation/host/ui to ondra", err)

    def test_include_beside_the_file_counts(self):
        tree = dict(BASE)
        tree["foundation/host/stdmaps/panel.rc"] = '#include "../base/core.h"\n'
        tree["foundation/host/base/animate.cpp"] = '#include "../stdmaps/panel.rc"\n'
        code, _, err = run(tree)
        self.assertEqual(code, 1)
        self.assertIn("foundation/host/base/animate.cpp: includes foundation/host/stdmaps/panel.rc",
                      err)


if __name__ == "__main__":
    unittest.main()
