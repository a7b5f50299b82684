#!/usr/bin/python3
"""Checks what Windows a built program can start on, from the file alone:

- every function it imports from a system DLL is on the allowlist, which
  names the first Windows version that has it, and none is newer than the
  oldest Windows this build is for (--windows, e.g. 5.1 for XP SP3);
- none is a call a clock program has no business with (setting the clock,
  suspending or rewriting another thread);
- the PE header lets that Windows' loader start it;
- a 32-bit build has no SSE instruction, so it runs on any i686 processor.

Usage: imports.py --allowlist FILE --windows MAJOR.MINOR --objdump OBJDUMP EXE
"""
import argparse
import os
import re
import subprocess
import sys
import unittest

import pefile

ARGS = None

# Never imported, whatever the list says: the POSIX thread layer pulls these
# in, and nothing here needs them.
FORBIDDEN = {"GetTickCount64", "SetSystemTime", "SetLocalTime", "SuspendThread",
             "SetThreadContext", "GetThreadContext"}


def version(text):
    major, minor = text.split(".")
    return int(major), int(minor)


def allowlist(path):
    """{(dll, function): (major, minor)} from lines "dll function version"."""
    allowed = {}
    with open(path) as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                dll, function, first = line.split()
                allowed[(dll.lower(), function)] = version(first)
    return allowed


class Program(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(ARGS.exe)
        cls.imports = set()
        for dll in cls.pe.DIRECTORY_ENTRY_IMPORT:
            for symbol in dll.imports:
                name = symbol.name.decode() if symbol.name else f"#{symbol.ordinal}"
                cls.imports.add((dll.dll.decode().lower(), name))
        cls.allowed = allowlist(ARGS.allowlist)
        cls.oldest = version(ARGS.windows)

    def test_every_import_is_on_the_allowlist_and_old_enough(self):
        missing = sorted(f"{d} {f}" for d, f in self.imports if (d, f) not in self.allowed)
        self.assertEqual(missing, [], "imports not on the allowlist")
        newer = sorted(f"{d} {f} {'.'.join(map(str, self.allowed[(d, f)]))}"
                       for d, f in self.imports if self.allowed[(d, f)] > self.oldest)
        self.assertEqual(newer, [], f"imports newer than Windows {ARGS.windows}")

    def test_the_headers_declare_each_import_for_the_oldest_windows(self):
        # mingw-w64 declares a function only when _WIN32_WINNT is at least the
        # version that brought it: a check of the allowlist's versions. The C
        # runtime's names are left out (its headers are not the system's).
        names = sorted(f for d, f in self.imports if d != "msvcrt.dll")
        api = "0x%02x%02x" % self.oldest
        source = "".join(f"#include <{h}>\n" for h in (
            "winsock2.h", "ws2tcpip.h", "windows.h", "commctrl.h", "mmsystem.h", "ras.h"))
        source += "void *const imports[] = {\n"
        source += "".join(f"  (void *){name},\n" for name in names) + "};\n"
        compiler = ARGS.objdump[: -len("objdump")] + "gcc"
        result = subprocess.run(
            [compiler, f"-D_WIN32_WINNT={api}", f"-DWINVER={api}", "-fsyntax-only", "-x", "c",
             "-"], input=source.encode(), stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
            env=dict(os.environ, LC_ALL="C"))
        undeclared = re.findall(r"'(\w+)' undeclared", result.stdout.decode())
        self.assertEqual(sorted(set(undeclared)), [], f"not declared for Windows {ARGS.windows}")
        self.assertEqual(result.returncode, 0, result.stdout.decode()[-2000:])

    def test_no_clock_setting_or_thread_tampering_imports(self):
        self.assertEqual(sorted(f for _, f in self.imports if f in FORBIDDEN), [])

    def test_the_header_lets_the_oldest_windows_load_it(self):
        h = self.pe.OPTIONAL_HEADER
        self.assertLessEqual((h.MajorOperatingSystemVersion, h.MinorOperatingSystemVersion),
                             self.oldest)
        self.assertLessEqual((h.MajorSubsystemVersion, h.MinorSubsystemVersion), self.oldest)
        # Windows before 5.x refuses nothing here, but 3.10 would mean a
        # linker default no Windows NT 5 program should carry.
        self.assertGreaterEqual((h.MajorSubsystemVersion, h.MinorSubsystemVersion), (5, 0))

    def test_a_32_bit_build_has_no_sse_instructions(self):
        if self.pe.FILE_HEADER.Machine != 0x14C:
            self.skipTest("x86-64 always has SSE2")
        code = subprocess.run([ARGS.objdump, "-d", ARGS.exe], stdout=subprocess.PIPE,
                              check=True).stdout.decode()
        lines = [line for line in code.splitlines() if re.search(r"%xmm\d", line)]
        self.assertEqual(len(lines), 0, "\n".join(lines[:10]))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--allowlist", required=True)
    parser.add_argument("--windows", required=True)
    parser.add_argument("--objdump", required=True)
    parser.add_argument("exe")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
