#!/usr/bin/env python3
"""The MIT licence in every package a user gets: the Debian package's copyright file in
Debian's machine-readable format and its AppStream metainfo, LICENSE.txt beside the program in
each Windows zip and in what the installer installs. Each must carry the text of LICENSE at the
root of the sources, so that a package built from an old or a wrong licence fails here.

Usage: test_licence.py --licence LICENSE {deb BUILD_DIR | zip ZIP | setup SETUP_EXE}
Exits 77 (skipped) when a tool the package's checks need is missing."""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree
import zipfile

ARGS = None
COPYRIGHT_LINE = "Copyright (c) 2026 the Prekidnik developers"


def licence_text():
    with open(ARGS.licence, encoding="utf-8") as f:
        return f.read()


def windows_text(data):
    """A text file as Notepad shows it: an optional UTF-8 byte order mark, CRLF line ends."""
    text = data.decode("utf-8")
    return text.removeprefix("\ufeff").replace("\r\n", "\n")


def deb_paragraphs(copyright_text):
    """The paragraphs of a machine-readable copyright file, each a dict of field to value
    (continuation lines unindented, " ." read as an empty line)."""
    paragraphs = []
    for block in re.split(r"\n\s*\n", copyright_text.strip()):
        fields, name = {}, None
        for line in block.split("\n"):
            if line.startswith((" ", "\t")) and name:
                fields[name] += "\n" + ("" if line.strip() == "." else line.strip())
            else:
                name, _, value = line.partition(":")
                fields[name] = value.strip()
        paragraphs.append(fields)
    return paragraphs


class Licence(unittest.TestCase):
    def test_licence_at_the_root_is_mit_with_the_projects_copyright(self):
        text = licence_text()
        self.assertTrue(text.startswith("MIT License\n"), text[:40])
        self.assertIn(COPYRIGHT_LINE, text)
        self.assertIn("Permission is hereby granted, free of charge", text)


class Deb(unittest.TestCase):
    """The package as cpack makes it from the build folder, unpacked."""

    @classmethod
    def setUpClass(cls):
        missing = [tool for tool in ("cpack", "dpkg-deb") if not shutil.which(tool)]
        if missing:
            raise unittest.SkipTest(f"missing {' '.join(missing)} (scripts/install-deps.sh)")
        cls.tmp = tempfile.TemporaryDirectory(prefix="prekidnik-licence-deb-")
        made = subprocess.run(["cpack", "-G", "DEB", "--config", "CPackConfig.cmake",
                               "-B", cls.tmp.name], cwd=ARGS.package, capture_output=True,
                              text=True, check=False)
        debs = [f for f in os.listdir(cls.tmp.name) if f.endswith(".deb")]
        if made.returncode or len(debs) != 1:
            cls.tmp.cleanup()
            raise RuntimeError(f"cpack made {debs}:\n{made.stdout}{made.stderr}")
        cls.root = os.path.join(cls.tmp.name, "root")
        subprocess.run(["dpkg-deb", "-x", os.path.join(cls.tmp.name, debs[0]), cls.root],
                       check=True)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def read(self, path):
        with open(os.path.join(self.root, path), encoding="utf-8") as f:
            return f.read()

    def test_copyright_file_names_mit_for_every_file(self):
        paragraphs = deb_paragraphs(self.read("usr/share/doc/prekidnik/copyright"))
        header = paragraphs[0]
        self.assertEqual(
            header.get("Format"),
            "https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/")
        files = [p for p in paragraphs if "Files" in p]
        expected = [{"Files": "*", "Copyright": "2026 the Prekidnik developers", "License": "MIT"}]
        self.assertEqual(files, expected)

    def test_copyright_file_holds_the_licence_text_of_license(self):
        paragraphs = deb_paragraphs(self.read("usr/share/doc/prekidnik/copyright"))
        texts = [p["License"] for p in paragraphs if "Files" not in p and "License" in p]
        permission = licence_text()[licence_text().index("Permission is hereby granted"):]
        self.assertEqual(texts, ["MIT\n" + permission.strip()])

    def test_metainfo_names_mit_as_the_project_licence(self):
        path = "usr/share/metainfo/org.example.prekidnik.metainfo.xml"
        component = ElementTree.fromstring(self.read(path))
        self.assertEqual([e.text for e in component.findall("project_license")], ["MIT"])


class Zip(unittest.TestCase):
    def test_licence_txt_beside_the_program_holds_license(self):
        with zipfile.ZipFile(ARGS.package) as archive:
            names = archive.namelist()
            self.assertIn("prekidnik.exe", names)
            self.assertIn("LICENSE.txt", names)
            self.assertEqual(windows_text(archive.read("LICENSE.txt")), licence_text())

    def test_read_me_points_to_the_licence(self):
        with zipfile.ZipFile(ARGS.package) as archive:
            readme = windows_text(archive.read("procitaj-me.txt"))
        self.assertIn("MIT", readme)
        self.assertIn("LICENSE.txt", readme)


class Setup(unittest.TestCase):
    """The installer's files as 7-Zip reads them out of the NSIS archive, without running it."""

    def setUp(self):
        if not shutil.which("7z"):
            self.skipTest("no 7z to read the installer (p7zip-full, scripts/install-deps.sh)")

    def test_installs_licence_txt_beside_the_program_holding_license(self):
        with tempfile.TemporaryDirectory(prefix="prekidnik-licence-setup-") as tmp:
            listing = subprocess.run(["7z", "x", "-y", f"-o{tmp}", ARGS.package],
                                     capture_output=True, text=True, check=False)
            self.assertEqual(listing.returncode, 0, listing.stdout + listing.stderr)
            found = {name: os.path.join(top, name)
                     for top, _, names in os.walk(tmp) for name in names}
            self.assertIn("prekidnik.exe", found, sorted(found))
            self.assertIn("LICENSE.txt", found, sorted(found))
            self.assertEqual(os.path.dirname(found["LICENSE.txt"]),
                             os.path.dirname(found["prekidnik.exe"]))
            with open(found["LICENSE.txt"], "rb") as f:
                self.assertEqual(windows_text(f.read()), licence_text())


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n", maxsplit=1)[0])
    parser.add_argument("--licence", required=True, help="LICENSE at the root of the sources")
    parser.add_argument("kind", choices=("deb", "zip", "setup"))
    parser.add_argument("package", help="the build folder (deb), the zip or the installer")
    ARGS = parser.parse_args()
    suite = unittest.TestSuite()
    loader = unittest.TestLoader()
    suite.addTests(loader.loadTestsFromTestCase(Licence))
    kind = {"deb": Deb, "zip": Zip, "setup": Setup}[ARGS.kind]
    suite.addTests(loader.loadTestsFromTestCase(kind))
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    if not result.wasSuccessful():
        sys.exit(1)
    # A package whose checks could not all run is reported as skipped, not as passed.
    sys.exit(77 if result.skipped else 0)


if __name__ == "__main__":
    main()
