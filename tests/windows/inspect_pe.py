#!/usr/bin/python3
"""What Windows will see of the built files, read with pefile: machine,
subsystem and loader versions, the imports (each on the allowlist with the
first Windows that has it, none newer than the oldest Windows of the build,
no DLL beyond Windows' own), the version record, the icon, the manifest, no
SSE in a 32-bit build, and a test rasapi32.dll exporting what the program
imports.

Usage: inspect_pe.py --bits 4|8 --allowlist FILE --windows MAJOR.MINOR --objdump OBJDUMP
                     PREKIDNIK_EXE FAKE_RASAPI32_DLL
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

WINDOWS_DLLS = {"advapi32.dll", "comctl32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll",
                "rasapi32.dll", "shell32.dll", "user32.dll", "winmm.dll", "ws2_32.dll"}
# The calls the program must make to the system itself, by name.
REQUIRED_IMPORTS = {
    "gdi32.dll": {"CreateRectRgn", "CreateEllipticRgn", "CombineRgn", "DeleteObject"},
    "user32.dll": {"SetWindowRgn", "ReleaseCapture", "SendMessageA"},
    "rasapi32.dll": {"RasEnumConnectionsA", "RasHangUpA", "RasGetConnectStatusA"},
}
# Never imported, whatever the allowlist says: the POSIX thread layer pulls
# these in, and a clock program has no business with them.
FORBIDDEN = {"GetTickCount64", "SetSystemTime", "SetLocalTime", "SuspendThread",
             "SetThreadContext", "GetThreadContext"}
RT_ICON, RT_GROUP_ICON, RT_MANIFEST = 3, 14, 24
ARGS = None


def version(text):
    return tuple(int(part) for part in text.split("."))


def resources(pe, type_id):
    """{id: data} of the resources of one type."""
    return {name.id: pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
            for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries if entry.id == type_id
            for name in entry.directory.entries for lang in name.directory.entries}


class Program(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(ARGS.exe)
        cls.imports = {(dll.dll.decode().lower(),
                        s.name.decode() if s.name else f"#{s.ordinal}")
                       for dll in cls.pe.DIRECTORY_ENTRY_IMPORT for s in dll.imports}
        cls.oldest = version(ARGS.windows)

    def test_headers(self):
        h = self.pe.OPTIONAL_HEADER
        self.assertEqual((self.pe.FILE_HEADER.Machine, h.Magic),
                         (0x8664, 0x20B) if ARGS.bits == 8 else (0x14C, 0x10B))
        self.assertEqual(h.Subsystem, 2)  # Windows GUI
        self.assertLessEqual((h.MajorOperatingSystemVersion, h.MinorOperatingSystemVersion),
                             self.oldest)
        # 3.10 would be a linker default that no NT 5 program should carry.
        self.assertTrue((5, 0) <= (h.MajorSubsystemVersion, h.MinorSubsystemVersion)
                        <= self.oldest)

    def test_imports(self):
        self.assertLessEqual({d for d, _ in self.imports}, WINDOWS_DLLS)
        for dll, names in REQUIRED_IMPORTS.items():
            self.assertLessEqual(names, {f for d, f in self.imports if d == dll}, dll)
        self.assertEqual(sorted(f for _, f in self.imports if f in FORBIDDEN), [])
        allowed = {}
        with open(ARGS.allowlist) as f:
            for line in f:
                if line.split("#", 1)[0].strip():
                    dll, function, first = line.split("#", 1)[0].split()
                    allowed[(dll.lower(), function)] = version(first)
        self.assertEqual(sorted(i for i in self.imports if i not in allowed), [],
                         "imports not on the allowlist")
        self.assertEqual(sorted(i for i in self.imports if allowed[i] > self.oldest), [],
                         f"imports newer than Windows {ARGS.windows}")

    def test_headers_declare_each_import_for_the_oldest_windows(self):
        # mingw-w64 declares a function only when _WIN32_WINNT is at least the
        # version that brought it: a check of the allowlist's versions (the C
        # runtime's names left out, its headers are not the system's).
        api = "0x%02x%02x" % self.oldest
        source = "".join(f"#include <{h}>\n" for h in (
            "winsock2.h", "ws2tcpip.h", "windows.h", "commctrl.h", "mmsystem.h", "ras.h"))
        source += "void *const imports[] = {\n" + "".join(
            f"  (void *){f},\n" for d, f in sorted(self.imports) if d != "msvcrt.dll") + "};\n"
        result = subprocess.run(
            [ARGS.objdump[:-len("objdump")] + "gcc", f"-D_WIN32_WINNT={api}", f"-DWINVER={api}",
             "-fsyntax-only", "-x", "c", "-"], input=source.encode(), stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT, env=dict(os.environ, LC_ALL="C"))
        output = result.stdout.decode()
        self.assertEqual(sorted(set(re.findall(r"'(\w+)' undeclared", output))), [])
        self.assertEqual(result.returncode, 0, output[-2000:])

    def test_no_sse_in_a_32_bit_build(self):
        if ARGS.bits == 8:
            self.skipTest("x86-64 always has SSE2")
        code = subprocess.run([ARGS.objdump, "-d", ARGS.exe], stdout=subprocess.PIPE,
                              check=True).stdout.decode()
        self.assertEqual([line for line in code.splitlines() if re.search(r"%xmm\d", line)][:10],
                         [])

    def test_version_record(self):
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS,
                          fixed.ProductVersionLS), (0x00010000, 0, 0x00010000, 0))
        strings, translations = {}, []
        for info in self.pe.FileInfo[0]:
            for table in getattr(info, "StringTable", []):
                if table.LangID.decode().upper() == "040904B0":
                    strings = {k.decode(): v.decode() for k, v in table.entries.items()}
            for var in getattr(info, "Var", []):
                translations += [t.decode() if isinstance(t, bytes) else t
                                 for t in var.entry.values()]
        self.assertEqual({k: strings.get(k) for k in ("FileVersion", "ProductVersion",
                                                      "ProductName", "CompanyName",
                                                      "OriginalFilename")},
                         {"FileVersion": "1.00", "ProductVersion": "1.00",
                          "ProductName": "Prekidnik", "CompanyName": "Prekidnik",
                          "OriginalFilename": "prekidnik.exe"})
        self.assertIn("0x0409 0x04b0", [t.lower() for t in translations])

    def test_icon_has_16_32_and_48_pixel_images(self):
        group, icons = resources(self.pe, RT_GROUP_ICON)[1], resources(self.pe, RT_ICON)
        reserved, kind, count = struct.unpack_from("<HHH", group)
        self.assertEqual((reserved, kind), (0, 1))
        sizes = []
        for i in range(count):
            width, height, *_, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
            sizes.append((width, height))
            self.assertEqual(struct.unpack_from("<Ii", icons[icon_id]), (40, width))
        self.assertEqual(sorted(sizes), [(16, 16), (32, 32), (48, 48)])

    def test_manifest_asks_for_common_controls_6_dpi_awareness_and_vista_to_11(self):
        manifests = resources(self.pe, RT_MANIFEST)
        self.assertEqual(list(manifests), [1])
        root = ElementTree.fromstring(manifests[1])  # well-formed, or the loader refuses it
        controls = [(a.get("version"), a.get("publicKeyToken"), a.get("processorArchitecture"))
                    for a in root.iter("{urn:schemas-microsoft-com:asm.v1}assemblyIdentity")
                    if a.get("name") == "Microsoft.Windows.Common-Controls"]
        self.assertEqual(controls, [("6.0.0.0", "6595b64144ccf1df", "*")])
        self.assertEqual([e.text.strip() for e in root.iter(
            "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware")], ["true"])
        self.assertEqual({e.get("Id") for e in root.iter(
            "{urn:schemas-microsoft-com:compatibility.v1}supportedOS")}, {
            "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Vista
            "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
            "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
            "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
            "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # 10 and 11
        })

    def test_the_test_rasapi32_exports_what_the_program_imports(self):
        pe = pefile.PE(ARGS.fake_rasapi32)
        self.assertEqual(pe.FILE_HEADER.Machine, self.pe.FILE_HEADER.Machine)
        self.assertEqual({e.name.decode() for e in pe.DIRECTORY_ENTRY_EXPORT.symbols if e.name},
                         REQUIRED_IMPORTS["rasapi32.dll"])


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    for option in ("--allowlist", "--windows", "--objdump"):
        parser.add_argument(option, required=True)
    parser.add_argument("--bits", type=int, choices=(4, 8), required=True)
    parser.add_argument("exe")
    parser.add_argument("fake_rasapi32")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
