#!/usr/bin/python3
"""Checks packaging/debian/copyright as a machine-readable copyright file (DEP-5): it parses
strictly, every Files pattern names at least one file of the source tree (the patterns are
source paths, not installed ones), and every licence a Files paragraph names has its text there
or in a License paragraph of its own.

Usage: /usr/bin/python3 scripts/check-copyright.py   (needs python3-debian; exit 1 on a fault)
"""
import re
import subprocess
import sys
from pathlib import Path

from debian import copyright as dep5

ROOT = Path(__file__).resolve().parent.parent
COPYRIGHT = ROOT / "packaging" / "debian" / "copyright"


def source_files():
    listed = subprocess.run(["git", "-C", str(ROOT), "ls-files", "-z"], check=True,
                            capture_output=True).stdout.decode()
    return [name for name in listed.split("\0") if name]


def main():
    with COPYRIGHT.open(encoding="utf-8") as text:
        parsed = dep5.Copyright(text, strict=True)
    files = source_files()
    standalone = {paragraph.license.synopsis for paragraph in parsed.all_license_paragraphs()}
    faults = []
    for paragraph in parsed.all_files_paragraphs():
        for pattern in paragraph.files:
            matcher = dep5.globs_to_re([pattern])
            if not any(matcher.match(name) for name in files):
                faults.append(f"Files: {pattern} names no file of the source tree")
        if paragraph.license.text:
            continue
        for name in re.split(r"\s+(?:and|or)\s+", paragraph.license.synopsis):
            if name.strip("()") not in standalone:
                faults.append(f"License: {name} has no text")
    for fault in faults:
        print(f"{COPYRIGHT.relative_to(ROOT)}: {fault}", file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
