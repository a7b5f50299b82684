#!/usr/bin/python3
"""What Windows will see of the built program, read with pefile: inspect_pe.py 4|8 (bytes of a
pointer) ALLOWLIST MAJOR.MINOR (the oldest Windows) OBJDUMP PREKIDNIK_EXE [unittest's options]"""
import os
import re
import struct
import subprocess
import sys
import unittest
from xml.etree import ElementTree

import pefile

# The mouse let go before the window is dragged: Wine moves it either way, so the end-to-end
# cases (which see the region and the Remote Access calls) cannot tell.
REQUIRED = {("user32.dll", "ReleaseCapture")}


def version(text):
    return tuple(int(part) for part in text.split("."))


class Program(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(EXE)
        cls.imports = {(dll.dll.decode().lower(), s.name.decode() if s.name else f"#{s.ordinal}")
                       for dll in cls.pe.DIRECTORY_ENTRY_IMPORT for s in dll.imports}
        cls.oldest = version(WINDOWS)

    def resources(self, type_id):
        return {name.id: self.pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
                for entry in self.pe.DIRECTORY_ENTRY_RESOURCE.entries if entry.id == type_id
                for name in entry.directory.entries for lang in name.directory.entries}

    def test_headers(self):
        h = self.pe.OPTIONAL_HEADER
        self.assertEqual((self.pe.FILE_HEADER.Machine, h.Magic, h.Subsystem),
                         (0x8664, 0x20B, 2) if BITS == 8 else (0x14C, 0x10B, 2))
        self.assertLessEqual((h.MajorOperatingSystemVersion, h.MinorOperatingSystemVersion),
                             self.oldest)
        # 3.10 would be a linker default that no NT 5 program should carry.
        self.assertTrue((5, 0) <= (h.MajorSubsystemVersion, h.MinorSubsystemVersion)
                        <= self.oldest)

    def test_imports_are_allowed_for_the_oldest_windows_and_its_headers_declare_them(self):
        self.assertLessEqual(REQUIRED, self.imports)
        with open(ALLOWLIST) as f:
            rows = (line.split("#", 1)[0].split() for line in f)
            allowed = {(dll.lower(), name): version(first) for dll, name, first in filter(None, rows)}
        self.assertEqual(sorted(i for i in self.imports if not allowed.get(i, (99,)) <= self.oldest),
                         [], f"imports not on the allowlist or newer than Windows {WINDOWS}")
        # mingw-w64 declares a function only from its _WIN32_WINNT: the allowlist's check.
        api = "0x%02x%02x" % self.oldest
        source = "".join(f"#include <{h}>\n" for h in ("winsock2.h", "ws2tcpip.h", "windows.h",
                                                       "commctrl.h", "mmsystem.h", "ras.h"))
        source += "void *const imports[] = {" + ",".join(
            f"(void *){f}" for d, f in sorted(self.imports) if d != "msvcrt.dll") + "};\n"
        result = subprocess.run(
            [OBJDUMP[:-len("objdump")] + "gcc", f"-D_WIN32_WINNT={api}", f"-DWINVER={api}",
             "-fsyntax-only", "-x", "c", "-"], input=source.encode(), stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT, env=dict(os.environ, LC_ALL="C"))
        self.assertEqual(result.returncode, 0, result.stdout.decode()[-2000:])

    @unittest.skipIf(sys.argv[1:2] == ["8"], "every x86-64 processor has SSE2")  # BITS, read early
    def test_no_sse_in_a_32_bit_build(self):
        code = subprocess.run([OBJDUMP, "-d", EXE], stdout=subprocess.PIPE, check=True)
        sse = [line for line in code.stdout.decode().splitlines() if re.search(r"%xmm\d", line)]
        self.assertEqual(sse[:10], [])

    def test_version_record_and_icon_of_16_32_and_48_pixels(self):
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS,
                          fixed.ProductVersionLS), (0x00010000, 0, 0x00010000, 0))
        strings = {k.decode(): v.decode() for info in self.pe.FileInfo[0]
                   for table in getattr(info, "StringTable", [])
                   if table.LangID.decode().upper() == "040904B0" for k, v in table.entries.items()}
        self.assertLessEqual({"FileVersion": "1.00", "ProductVersion": "1.00",
                              "ProductName": "Prekidnik", "CompanyName": "Prekidnik",
                              "OriginalFilename": "prekidnik.exe"}.items(), strings.items())
        translations = [t.decode() if isinstance(t, bytes) else t for info in self.pe.FileInfo[0]
                        for var in getattr(info, "Var", []) for t in var.entry.values()]
        self.assertIn("0x0409 0x04b0", [t.lower() for t in translations])
        group, icons = self.resources(14)[1], self.resources(3)  # RT_GROUP_ICON, RT_ICON
        sizes = [struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
                 for i in range(struct.unpack_from("<H", group, 4)[0])]
        self.assertEqual(sorted(s[:2] for s in sizes), [(16, 16), (32, 32), (48, 48)])
        for s in sizes:  # each a bitmap as wide as its entry says
            self.assertEqual(struct.unpack_from("<Ii", icons[s[-1]]), (40, s[0]))

    def test_manifest_asks_for_common_controls_6_dpi_awareness_and_vista_to_11(self):
        manifests = self.resources(24)  # RT_MANIFEST
        root = ElementTree.fromstring(manifests[1])  # id 1, the loader's; well-formed, or refused
        self.assertEqual([(a.get("version"), a.get("publicKeyToken"), a.get("processorArchitecture"))
                          for a in root.iter("{urn:schemas-microsoft-com:asm.v1}assemblyIdentity")
                          if a.get("name") == "Microsoft.Windows.Common-Controls"],
                         [("6.0.0.0", "6595b64144ccf1df", "*")])
        self.assertEqual([e.text.strip() for e in root.iter(
            "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware")], ["true"])
        self.assertEqual({e.get("Id") for e in root.iter(
            "{urn:schemas-microsoft-com:compatibility.v1}supportedOS")}, {
            "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
            "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
            "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})  # Vista, 7, 8, 8.1, 10 and 11


if __name__ == "__main__":
    BITS, ALLOWLIST, WINDOWS, OBJDUMP, EXE = int(sys.argv[1]), *sys.argv[2:6]
    unittest.main(argv=sys.argv[:1] + sys.argv[6:], verbosity=2)
