#!/usr/bin/python3
"""What Windows will see of the built program, read with pefile: its headers,
its imports against the oldest Windows it is for, its code (no SSE in the
32-bit build), its version record, icon and manifest. Why: a wrong header,
an import newer than Windows XP or a manifest the loader refuses stop the
program before its first line runs, where no test under Wine looks.

    inspect_pe.py BITS ALLOWLIST MAJOR.MINOR OBJDUMP PREKIDNIK_EXE [unittest's arguments]

BITS: 4 or 8, the bytes of a pointer; ALLOWLIST: system_imports.txt;
MAJOR.MINOR: the oldest Windows; OBJDUMP: the MinGW triple's objdump.
"""
import argparse
import os
import re
import struct
import subprocess
import sys
import unittest
from xml.etree import ElementTree

import pefile

# The mouse let go before the window is dragged: Wine moves it either way, so
# the end-to-end cases (which see the region and the Remote Access calls)
# cannot tell.
REQUIRED = {("user32.dll", "ReleaseCapture")}

RT_ICON, RT_GROUP_ICON, RT_MANIFEST = 3, 14, 24
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
WINDOWS_SETTINGS = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
VISTA_TO_11 = {  # supportedOS ids: Vista, 7, 8, 8.1, and 10 and 11 (one id)
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}


def version(text):
    """A version's text as a tuple: (5, 1) for "5.1"."""
    return tuple(int(part) for part in text.split("."))


def read_allowlist(path):
    """{(dll, function): first Windows version} of the allowlist's rows."""
    allowed = {}
    with open(path) as f:
        for line in f:
            row = line.split("#", 1)[0].split()
            if row:
                dll, name, first = row
                allowed[(dll.lower(), name)] = version(first)
    return allowed


class Program(unittest.TestCase):
    bits = allowlist = windows = objdump = exe = None  # set by main

    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(cls.exe)
        cls.oldest = version(cls.windows)
        cls.imports = set()
        for dll in cls.pe.DIRECTORY_ENTRY_IMPORT:
            for symbol in dll.imports:
                name = f"#{symbol.ordinal}"
                if symbol.name:
                    name = symbol.name.decode()
                cls.imports.add((dll.dll.decode().lower(), name))

    def resources(self, type_id):
        """{id: bytes} of the resources of a type."""
        found = {}
        for entry in self.pe.DIRECTORY_ENTRY_RESOURCE.entries:
            if entry.id != type_id:
                continue
            for name in entry.directory.entries:
                for lang in name.directory.entries:
                    data = lang.data.struct
                    found[name.id] = self.pe.get_data(data.OffsetToData, data.Size)
        return found

    def test_machine_and_subsystem_are_the_builds(self):
        h = self.pe.OPTIONAL_HEADER
        expected = (0x14C, 0x10B, 2)  # i386, PE32, GUI
        if self.bits == 8:
            expected = (0x8664, 0x20B, 2)  # x86-64, PE32+, GUI
        self.assertEqual((self.pe.FILE_HEADER.Machine, h.Magic, h.Subsystem), expected)

    def test_the_oldest_windows_runs_it(self):
        h = self.pe.OPTIONAL_HEADER
        self.assertLessEqual((h.MajorOperatingSystemVersion, h.MinorOperatingSystemVersion),
                             self.oldest)
        self.assertLessEqual((h.MajorSubsystemVersion, h.MinorSubsystemVersion), self.oldest)

    def test_the_subsystem_version_is_no_linker_default(self):
        # 3.10 would be a linker default that no NT 5 program should carry.
        h = self.pe.OPTIONAL_HEADER
        self.assertGreaterEqual((h.MajorSubsystemVersion, h.MinorSubsystemVersion), (5, 0))

    def test_imports_what_the_window_move_needs(self):
        self.assertLessEqual(REQUIRED, self.imports)

    def test_imports_only_what_the_oldest_windows_has(self):
        allowed = read_allowlist(self.allowlist)
        too_new = [i for i in self.imports if allowed.get(i, (99,)) > self.oldest]
        self.assertEqual(sorted(too_new), [],
                         f"imports not on the allowlist or newer than Windows {self.windows}")

    def test_the_headers_of_the_oldest_windows_declare_each_import(self):
        # mingw-w64 declares a function only from its _WIN32_WINNT on: this
        # checks the allowlist's versions.
        api = "0x%02x%02x" % self.oldest
        headers = ("winsock2.h", "ws2tcpip.h", "windows.h", "commctrl.h", "mmsystem.h", "ras.h")
        source = "".join(f"#include <{h}>\n" for h in headers)
        functions = [f"(void *){f}" for d, f in sorted(self.imports) if d != "msvcrt.dll"]
        source += "void *const imports[] = {" + ",".join(functions) + "};\n"
        gcc = self.objdump[:-len("objdump")] + "gcc"
        result = subprocess.run(
            [gcc, f"-D_WIN32_WINNT={api}", f"-DWINVER={api}", "-fsyntax-only", "-x", "c", "-"],
            input=source.encode(), stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
            env=dict(os.environ, LC_ALL="C"))
        self.assertEqual(result.returncode, 0, result.stdout.decode()[-2000:])

    def test_no_sse_in_a_32_bit_build(self):
        if self.bits == 8:
            self.skipTest("every x86-64 processor has SSE2")
        code = subprocess.run([self.objdump, "-d", self.exe], stdout=subprocess.PIPE,
                              check=True)
        sse = [line for line in code.stdout.decode().splitlines() if re.search(r"%xmm\d", line)]
        self.assertEqual(sse[:10], [])

    def test_the_fixed_version_is_1_0(self):
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS,
                          fixed.ProductVersionLS), (0x00010000, 0, 0x00010000, 0))

    def test_the_version_strings_name_the_program(self):
        strings = {}
        for info in self.pe.FileInfo[0]:
            for table in getattr(info, "StringTable", []):
                if table.LangID.decode().upper() == "040904B0":
                    for key, value in table.entries.items():
                        strings[key.decode()] = value.decode()
        expected = {"FileVersion": "1.00", "ProductVersion": "1.00", "ProductName": "Prekidnik",
                    "CompanyName": "Prekidnik", "OriginalFilename": "prekidnik.exe"}
        self.assertEqual({k: strings.get(k) for k in expected}, expected)

    def test_the_version_record_is_in_us_english_unicode(self):
        translations = []
        for info in self.pe.FileInfo[0]:
            for var in getattr(info, "Var", []):
                for value in var.entry.values():
                    if isinstance(value, bytes):
                        value = value.decode()
                    translations.append(value.lower())
        self.assertIn("0x0409 0x04b0", translations)

    def test_the_icon_has_images_of_16_32_and_48_pixels(self):
        group, icons = self.resources(RT_GROUP_ICON)[1], self.resources(RT_ICON)
        count = struct.unpack_from("<H", group, 4)[0]
        entries = [struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i) for i in range(count)]
        self.assertEqual(sorted(e[:2] for e in entries), [(16, 16), (32, 32), (48, 48)])
        for entry in entries:
            with self.subTest(size=entry[0]):
                # A bitmap (header of 40 bytes) as wide as its entry says.
                self.assertEqual(struct.unpack_from("<Ii", icons[entry[-1]]), (40, entry[0]))

    def manifest(self):
        """The manifest of id 1, the loader's; well-formed, or the loader refuses it."""
        return ElementTree.fromstring(self.resources(RT_MANIFEST)[1])

    def test_the_manifest_asks_for_common_controls_6(self):
        found = [(a.get("version"), a.get("publicKeyToken"), a.get("processorArchitecture"))
                 for a in self.manifest().iter(ASM_V1 + "assemblyIdentity")
                 if a.get("name") == "Microsoft.Windows.Common-Controls"]
        self.assertEqual(found, [("6.0.0.0", "6595b64144ccf1df", "*")])

    def test_the_manifest_declares_dpi_awareness(self):
        found = [e.text.strip() for e in self.manifest().iter(WINDOWS_SETTINGS + "dpiAware")]
        self.assertEqual(found, ["true"])

    def test_the_manifest_supports_vista_to_11(self):
        found = {e.get("Id") for e in self.manifest().iter(COMPATIBILITY + "supportedOS")}
        self.assertEqual(found, VISTA_TO_11)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("bits", type=int, choices=(4, 8), help="bytes of a pointer")
    parser.add_argument("allowlist", help="system_imports.txt")
    parser.add_argument("windows", help="the oldest Windows, as MAJOR.MINOR")
    parser.add_argument("objdump", help="the MinGW triple's objdump")
    parser.add_argument("exe", help="prekidnik.exe")
    args, unittest_args = parser.parse_known_args()
    for name, value in vars(args).items():
        setattr(Program, name, value)
    unittest.main(argv=sys.argv[:1] + unittest_args, verbosity=2)


if __name__ == "__main__":
    main()
