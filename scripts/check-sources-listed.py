#!/usr/bin/env python3
"""Checks that every .cpp file of the folders whose CMakeLists.txt list their sources by name is
named in one: a file left out would silently not be built, and a test file left out would
silently not run.

Usage: check-sources-listed.py [ROOT]
Prints each file no CMakeLists.txt names and exits with status 1 when there is any.
"""

import os
import re
import subprocess
import sys

# Folders that list their sources; the editor's windows (app/ and those still elsewhere) glob.
LISTING_FOLDERS = ["preview", "messages", "comm", "autosync", "tools", "bench", "fuzz"]
NOT_LISTING = ["autosync/window/"]


def cmake_texts(root, path):
    """The CMakeLists.txt texts of the file's directory and every directory above it, up to
    its top folder."""
    texts = []
    directory = os.path.dirname(path)
    while directory:
        cmake = os.path.join(root, directory, "CMakeLists.txt")
        if os.path.isfile(cmake):
            with open(cmake, encoding="utf-8") as f:
                texts.append(f.read())
        directory = os.path.dirname(directory)
    return texts


def unlisted(root):
    files = subprocess.run(
        ["git", "-C", root, "ls-files", "--cached", "--others", "--exclude-standard", "--"]
        + [f"{folder}/*.cpp" for folder in LISTING_FOLDERS],
        check=True, capture_output=True, text=True).stdout.splitlines()
    missing = []
    for path in sorted(files):
        if any(path.startswith(prefix) for prefix in NOT_LISTING):
            continue
        name = os.path.basename(path)
        pattern = re.compile(r"(?<![\w.])%s(?![\w.])" % re.escape(name))
        if not any(pattern.search(text) for text in cmake_texts(root, path)):
            missing.append(path)
    return missing


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(
        os.path.dirname(os.path.abspath(__file__)))
    missing = unlisted(root)
    for path in missing:
        print(f"{path}: not named in any CMakeLists.txt, so it is not built")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
