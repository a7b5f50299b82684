#!/usr/bin/env python3
"""Fails on each line longer than 100 columns in the C, C++ and shell files
of the checkout (tracked, or new and not ignored), listing them.

Why: clang-format keeps C++ to 100 columns, but not between `clang-format off`
and `on`, and nothing formats the shell scripts; pycodestyle keeps Python to
100 (tests/CMakeLists.txt). Run from the project's root.
"""
import subprocess
import sys

LIMIT = 100
PATTERNS = ["*.c", "*.cpp", "*.h", "*.sh", ".ci/run"]


def files():
    listed = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "--", *PATTERNS],
                            capture_output=True, text=True, check=True)
    return listed.stdout.splitlines()


def long_lines(path):
    """(line number, columns) of each line of `path` over the limit."""
    found = []
    with open(path, encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            columns = len(line.rstrip("\r\n").expandtabs(8))
            if columns > LIMIT:
                found.append((number, columns))
    return found


def main():
    failed = False
    for path in files():
        for number, columns in long_lines(path):
            print(f"{path}:{number}: {columns} columns, over {LIMIT}")
            failed = True
    if failed:
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
