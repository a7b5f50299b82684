#!/usr/bin/python3
"""Reads the built Windows files with pefile and checks what Windows will
see of them: machine, subsystem, the calls imported by name, that no DLL
outside Windows' own is needed, the version record, the icon and the
manifest; and that the test stand-in for rasapi32.dll exports the names the
program imports.

Usage: inspect_pe.py --bits 4|8 PREKIDNIK_EXE FAKE_RASAPI32_DLL
"""
import argparse
import struct
import sys
import unittest
from xml.etree import ElementTree

import pefile

# DLLs that every Windows since XP has; anything else would have to ship
# with the program.
WINDOWS_DLLS = {
    "advapi32.dll", "comctl32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll",
    "rasapi32.dll", "shell32.dll", "user32.dll", "winmm.dll", "ws2_32.dll",
}
# The calls the program must make to the system itself, by name.
REQUIRED_IMPORTS = {
    "gdi32.dll": {"CreateRectRgn", "CreateEllipticRgn", "CombineRgn", "DeleteObject"},
    "user32.dll": {"SetWindowRgn", "ReleaseCapture", "SendMessageA"},
    "rasapi32.dll": {"RasEnumConnectionsA", "RasHangUpA", "RasGetConnectStatusA"},
}
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24

ARGS = None


def resources(pe, type_id):
    """{id: data} of the resources of one type."""
    found = {}
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return found
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id != type_id:
            continue
        for name in entry.directory.entries:
            for language in name.directory.entries:
                d = language.data.struct
                found[name.id] = pe.get_data(d.OffsetToData, d.Size)
    return found


class Program(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(ARGS.exe)

    def test_machine_and_gui_subsystem(self):
        expected = 0x8664 if ARGS.bits == 8 else 0x14C
        self.assertEqual(self.pe.FILE_HEADER.Machine, expected)
        self.assertEqual(self.pe.OPTIONAL_HEADER.Subsystem, 2)  # Windows GUI
        self.assertEqual(self.pe.OPTIONAL_HEADER.Magic, 0x20B if ARGS.bits == 8 else 0x10B)

    def test_the_system_calls_are_imported_by_name(self):
        imported = {}
        for dll in self.pe.DIRECTORY_ENTRY_IMPORT:
            names = imported.setdefault(dll.dll.decode().lower(), set())
            for symbol in dll.imports:
                if symbol.name:  # by ordinal: no name
                    names.add(symbol.name.decode())
        for dll, names in REQUIRED_IMPORTS.items():
            self.assertLessEqual(names, imported.get(dll, set()), dll)

    def test_needs_no_dll_beyond_windows_own(self):
        dlls = {d.dll.decode().lower() for d in self.pe.DIRECTORY_ENTRY_IMPORT}
        self.assertLessEqual(dlls, WINDOWS_DLLS)
        for runtime in ("libstdc++-6.dll", "libgcc_s_dw2-1.dll", "libgcc_s_seh-1.dll",
                        "libwinpthread-1.dll"):
            self.assertNotIn(runtime, dlls)

    def test_version_record(self):
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), (0x00010000, 0))
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), (0x00010000, 0))
        tables, translations = {}, []
        for info in self.pe.FileInfo[0]:
            if info.Key == b"StringFileInfo":
                for table in info.StringTable:
                    tables[table.LangID.decode()] = {
                        k.decode(): v.decode() for k, v in table.entries.items()}
            elif info.Key == b"VarFileInfo":
                for var in info.Var:
                    translations += var.entry.values()
        self.assertIn("040904B0", {k.upper() for k in tables})
        strings = next(v for k, v in tables.items() if k.upper() == "040904B0")
        self.assertEqual(strings["FileVersion"], "1.00")
        self.assertEqual(strings["ProductVersion"], "1.00")
        self.assertEqual(strings["ProductName"], "Prekidnik")
        self.assertEqual(strings["CompanyName"], "Prekidnik")
        self.assertEqual(strings["OriginalFilename"], "prekidnik.exe")
        self.assertIn("0x0409 0x04b0", [t.decode().lower() if isinstance(t, bytes) else t.lower()
                                         for t in translations])

    def test_application_icon_has_16_32_and_48_pixel_images(self):
        groups = resources(self.pe, RT_GROUP_ICON)
        self.assertIn(1, groups)
        data = groups[1]
        reserved, kind, count = struct.unpack_from("<HHH", data)
        self.assertEqual((reserved, kind), (0, 1))
        icons = resources(self.pe, RT_ICON)
        sizes = []
        for i in range(count):
            width, height, _, _, _, _, _, icon_id = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
            sizes.append((width or 256, height or 256))
            self.assertIn(icon_id, icons)
            header_size, dib_width = struct.unpack_from("<Ii", icons[icon_id])
            self.assertEqual((header_size, dib_width), (40, width))
        self.assertEqual(sorted(sizes), [(16, 16), (32, 32), (48, 48)])

    def test_manifest_asks_for_common_controls_6_dpi_awareness_and_vista_to_11(self):
        manifests = resources(self.pe, RT_MANIFEST)
        self.assertEqual(list(manifests), [1])
        root = ElementTree.fromstring(manifests[1])  # well-formed, or the loader refuses it
        asm = "{urn:schemas-microsoft-com:asm.v1}"
        controls = [a.attrib for a in root.iter(asm + "assemblyIdentity")
                    if a.get("name") == "Microsoft.Windows.Common-Controls"]
        self.assertEqual(len(controls), 1)
        self.assertEqual((controls[0]["version"], controls[0]["publicKeyToken"],
                          controls[0]["processorArchitecture"]),
                         ("6.0.0.0", "6595b64144ccf1df", "*"))
        dpi = [e.text.strip() for e in root.iter(
            "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware")]
        self.assertEqual(dpi, ["true"])
        systems = {e.get("Id") for e in root.iter(
            "{urn:schemas-microsoft-com:compatibility.v1}supportedOS")}
        self.assertEqual(systems, {
            "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Vista
            "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
            "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
            "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
            "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # 10 and 11
        })


class RasStandIn(unittest.TestCase):
    def test_exports_the_names_the_program_imports(self):
        pe = pefile.PE(ARGS.fake_rasapi32)
        self.assertEqual(pe.FILE_HEADER.Machine, 0x8664 if ARGS.bits == 8 else 0x14C)
        names = {e.name.decode() for e in pe.DIRECTORY_ENTRY_EXPORT.symbols if e.name}
        self.assertEqual(names, REQUIRED_IMPORTS["rasapi32.dll"])


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--bits", type=int, choices=(4, 8), required=True)
    parser.add_argument("exe")
    parser.add_argument("fake_rasapi32")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
