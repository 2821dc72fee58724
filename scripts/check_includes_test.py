#!/usr/bin/env python3
"""Tests of check-includes.py over small made-up trees: each wrong include is reported, each
allowed one is not."""

import importlib.util
import os
import tempfile
import unittest

_spec = importlib.util.spec_from_file_location(
    "check_includes", os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                   "check-includes.py"))
check_includes = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(check_includes)

# Files every tree has, one per layer, including nothing.
BASE = ["format/F.h", "preview/P.h", "messages/M.h", "comm/C.h", "autosync/A.h", "tools/T.h", "app/W.h",
        "testsupport/Plain.h", "comm/tests/CommHelper.h"]

# (name, {file: [included names]}, expected finding substring or None for a clean tree)
CASES = [
    ("core upwards", {"messages/M.cpp": ["preview/P.h", "messages/M.h"],
                      "autosync/A.cpp": ["comm/C.h", "preview/P.h"],
                      "preview/P.cpp": ["format/F.h"], "tools/T.cpp": ["format/F.h"]}, None),
    ("format is the bottom layer", {"format/F.h": ["preview/P.h"]},
     "format may not include preview"),
    ("core downwards", {"preview/P.cpp": ["messages/M.h"]}, "preview may not include messages"),
    ("core into tools", {"comm/C.cpp": ["tools/T.h"]}, "comm may not include tools"),
    ("core into app", {"autosync/A.cpp": ["app/W.h"]}, "autosync may not include app"),
    ("a window outside app is core code",
     {"autosync/window/Y.cpp": ["app/W.h"]}, "autosync may not include app"),
    ("tools into app", {"tools/T.cpp": ["app/W.h"]}, "tools may not include app"),
    ("Qt in the core", {"messages/M.cpp": ["<QString>"]}, "Qt is for app/ only"),
    ("Qt in app", {"app/W.cpp": ["<QWidget>", "<vector>"]}, None),
    ("test of its own layer", {"comm/tests/T.cpp": ["comm/C.h", "CommHelper.h",
                                                   "testsupport/Plain.h"]}, None),
    ("test above its layer", {"messages/tests/T.cpp": ["comm/C.h"]},
     "messages may not include comm"),
    ("another folder's test helper", {"tools/tests/T.cpp": ["comm/tests/CommHelper.h"]},
     "another folder's test code"),
    ("production code including test code", {"comm/C.cpp": ["comm/tests/CommHelper.h"]},
     "another folder's test code"),
    ("support header above the test's layer",
     {"testsupport/Sign.h": ["testsupport/Deep.h"], "testsupport/Deep.h": ["autosync/A.h"],
      "preview/tests/T.cpp": ["testsupport/Sign.h"]}, "brings in autosync"),
    ("production code including test support", {"tools/T.cpp": ["testsupport/Plain.h"]},
     "tools may not include testsupport"),
    ("file outside every layer", {"misc/X.cpp": []}, "not in any layer"),
    ("cycle", {"comm/X.h": ["comm/Y.h"], "comm/Y.h": ["comm/Z.h"], "comm/Z.h": ["comm/X.h"]},
     "include cycle: comm/X.h -> comm/Y.h -> comm/Z.h -> comm/X.h"),
    ("self include", {"comm/S.h": ["S.h"]}, "include cycle: comm/S.h -> comm/S.h"),
    ("two units through their sources",
     {"app/A.cpp": ["A.h", "app/B.h"], "app/B.h": [], "app/B.cpp": ["B.h", "A.h"], "app/A.h": []},
     "include cycle: app/A.cpp -> app/B.h ~ app/B.cpp -> app/A.h"),
    ("a header chain, each source including its own header and those below",
     {"app/A.h": ["B.h"], "app/B.h": ["C.h"], "app/C.h": [], "app/A.cpp": ["A.h", "C.h"],
      "app/B.cpp": ["B.h", "C.h"], "app/C.cpp": ["C.h"]}, None),
]


def make_tree(root, files):
    for path in BASE:
        files.setdefault(path, [])
    for path, names in files.items():
        os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
        with open(os.path.join(root, path), "w", encoding="utf-8") as f:
            for name in names:
                f.write(f"#include {name}\n" if name.startswith("<") else f'#include "{name}"\n')


class CheckIncludesTest(unittest.TestCase):
    def test_cases(self):
        for name, files, expected in CASES:
            with self.subTest(name), tempfile.TemporaryDirectory() as root:
                make_tree(root, dict(files))
                findings = check_includes.check(root)
                if expected is None:
                    self.assertEqual(findings, [])
                else:
                    self.assertTrue(any(expected in f for f in findings), findings)


if __name__ == "__main__":
    unittest.main()
