#!/usr/bin/env python3
"""The packages as their users get them. Each subcommand makes or reads one
package once, then checks it test by test (unittest):

    check_packages.py deb BUILD_DIR ICO
    check_packages.py zip ZIP EXE VERSION
    check_packages.py wine WINE SETUP_EXE BUILT_EXE
    check_packages.py reproducible SOURCE PRESET TARGETS FILE...

Why: lintian, the desktop and AppStream validators, an install under Wine and
a second build see what no unit test does: the package's files, metadata and
bytes. A check whose tool is missing is skipped with exit status 77 (CTest's
SKIP_RETURN_CODE) and the reason printed.
"""
import argparse
import contextlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

SKIPPED = 77

# The tools each subcommand needs (scripts/install-deps.sh installs them).
NEEDS = {
    "deb": ["cpack", "lintian", "desktop-file-validate", "appstreamcli", "dpkg-deb",
            "dpkg-shlibdeps", "Xvfb", "xdotool", "convert"],
    "zip": [],
    "wine": ["makensis", "Xvfb"],
    "reproducible": ["cmake"],
}
# What a preset's build needs besides cmake.
PRESET_NEEDS = {"linux": ["dpkg-deb", "dpkg-shlibdeps"], "windows-i686": ["makensis"]}


def run(*argv, **options):
    """Runs a program; returns the finished run, its output as text."""
    return subprocess.run(argv, capture_output=True, text=True, errors="replace", **options)


def read_bytes(path):
    """A file's bytes, or None when there is no such file."""
    if not os.path.isfile(path):
        return None
    with open(path, "rb") as f:
        return f.read()


@contextlib.contextmanager
def x_display():
    """The environment of a fresh Xvfb display, stopped afterwards."""
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24",
                             "-nolisten", "tcp"],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        number = xvfb.stdout.readline().decode().strip()
        yield dict(os.environ, DISPLAY=":" + number)
    finally:
        xvfb.kill()
        xvfb.wait()
        xvfb.stdout.close()


class Deb(unittest.TestCase):
    """The Debian package that cpack makes from BUILD_DIR, installed by
    unpacking it; its PNG icons against the images of ICO."""
    build = ico = None  # set by main

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="prekidnik-deb-")
        cls.addClassCleanup(shutil.rmtree, cls.tmp, ignore_errors=True)
        made = run("cpack", "-G", "DEB", "--config", "CPackConfig.cmake", "-B", cls.tmp,
                   cwd=cls.build)
        debs = [f for f in os.listdir(cls.tmp) if f.endswith(".deb")]
        if made.returncode != 0 or debs != ["prekidnik_1.0.0_amd64.deb"]:
            raise AssertionError(f"cpack made {debs}:\n{made.stdout}{made.stderr}")
        cls.package = os.path.join(cls.tmp, debs[0])
        cls.root = os.path.join(cls.tmp, "root")
        cls.share = os.path.join(cls.root, "usr", "share")
        run("dpkg-deb", "-x", cls.package, cls.root)

    def test_lintian_reports_no_error_and_no_warning(self):
        report = run("lintian", "--allow-root", "--info", "--display-info", self.package)
        self.assertEqual(re.findall(r"(?m)^[EW]: .*", report.stdout), [])

    def test_the_desktop_file_is_valid(self):
        path = f"{self.share}/applications/org.example.prekidnik.desktop"
        checked = run("desktop-file-validate", path)
        self.assertEqual(checked.returncode, 0, checked.stdout)
        self.assertNotIn(" error:", checked.stdout)

    def test_the_metainfo_is_valid(self):
        path = f"{self.share}/metainfo/org.example.prekidnik.metainfo.xml"
        checked = run("appstreamcli", "validate", "--no-net", path)
        self.assertEqual(checked.returncode, 0, checked.stdout)

    def test_the_installed_program_shows_its_window(self):
        with x_display() as env:
            env.update(QT_QPA_PLATFORM="xcb", DBUS_SYSTEM_BUS_ADDRESS="unix:path=/none",
                       DBUS_SESSION_BUS_ADDRESS="unix:path=/none")
            app = subprocess.Popen([f"{self.root}/usr/bin/prekidnik"], env=env,
                                   stderr=subprocess.DEVNULL)
            try:
                search = run("timeout", "30", "xdotool", "search", "--sync", "--onlyvisible",
                             "--pid", str(app.pid), "--name", "^Prekidnik$", env=env)
            finally:
                app.kill()
                app.wait()
        self.assertEqual(search.returncode, 0, "no window titled Prekidnik within 30 s")

    def test_the_scalable_icon_is_installed(self):
        self.assertTrue(os.path.isfile(f"{self.share}/icons/hicolor/scalable/apps/prekidnik.svg"))

    def test_each_png_icon_is_the_ico_image_of_its_size(self):
        for index, size in enumerate((16, 32, 48)):
            with self.subTest(size=size):
                png = f"{self.share}/icons/hicolor/{size}x{size}/apps/prekidnik.png"
                self.assertEqual(rgba(png), rgba(f"{self.ico}[{index}]"))


def rgba(image):
    """An image's pixels as 8-bit RGBA bytes (ImageMagick)."""
    return subprocess.run(["convert", image, "-depth", "8", "rgba:-"], capture_output=True,
                          check=True).stdout


class Zip(unittest.TestCase):
    """The Windows zip: the built program and its read-me, as Notepad shows it."""
    archive = exe = version = None  # set by main

    @classmethod
    def setUpClass(cls):
        with zipfile.ZipFile(cls.archive) as archive:
            cls.members = {name: archive.read(name) for name in archive.namelist()}
        cls.readme = cls.members.get("procitaj-me.txt", b"")

    def test_holds_the_program_and_its_read_me_only(self):
        self.assertEqual(list(self.members), ["prekidnik.exe", "procitaj-me.txt"])

    def test_the_program_is_the_built_one(self):
        self.assertTrue(self.members.get("prekidnik.exe") == read_bytes(self.exe),
                        "prekidnik.exe differs from the built one")

    def test_the_read_me_is_utf8_with_a_byte_order_mark(self):
        self.assertEqual(self.readme[:3], b"\xef\xbb\xbf")

    def test_the_read_me_ends_its_lines_with_crlf_only(self):
        self.assertGreater(self.readme.count(b"\n"), 0)
        self.assertEqual(self.readme.count(b"\r\n"), self.readme.count(b"\n"))

    def test_the_read_me_names_the_version_and_the_program(self):
        self.assertNotIn(b"@", self.readme, "a placeholder left unfilled")
        self.assertIn(f"Prekidnik {self.version}".encode(), self.readme)
        self.assertIn(b"prekidnik.exe", self.readme)


class WineInstall(unittest.TestCase):
    """The installer and the uninstaller, run silently in a throwaway 32-bit
    prefix that reports Windows XP."""
    wine = setup = built = None  # set by main

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="prekidnik-wine-")
        cls.addClassCleanup(shutil.rmtree, cls.tmp, ignore_errors=True)
        cls.drive = os.path.join(cls.tmp, "drive_c")
        server = os.path.join(os.path.dirname(cls.wine), "wineserver")
        with x_display() as env:
            env.update(WINEARCH="win32", WINEPREFIX=cls.tmp, WINEDEBUG="-all",
                       WINEDLLOVERRIDES="mscoree,mshtml=")
            cls.env = env
            try:
                cls.install_and_uninstall()
            finally:
                run(server, "-k", env=env)

    @classmethod
    def install_and_uninstall(cls):
        run(cls.wine, "winecfg", "-v", "winxp", env=cls.env)
        files, keys = cls.snapshot()
        cls.installer = run(cls.wine, cls.setup, "/S", env=cls.env).returncode
        cls.installed = cls.snapshot()[0] - files
        key = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Prekidnik"
        listed = run(cls.wine, "reg", "query", key, env=cls.env).stdout
        cls.values = dict(re.findall(r"(?m)^ +(\w+) +REG_\w+ +(.*?)\r?$", listed))
        cls.home = cls.values.get("InstallLocation", "")
        cls.exe = read_bytes(os.path.join(cls.drive, *cls.home[3:].split("\\"), "prekidnik.exe"))
        cls.links = [read_bytes(f) for f in cls.installed
                     if f.endswith("/Start Menu/Programs/Prekidnik.lnk")]
        cls.uninstaller = run(cls.wine, cls.home + r"\uninstall.exe", "/S",
                              env=cls.env).returncode
        left, left_keys = cls.snapshot()  # the uninstaller goes on in a copy of itself
        cls.left = sorted(left - files)
        cls.left += [k for k in left_keys - keys if b"prekidnik" in k.lower()]

    @classmethod
    def snapshot(cls):
        """The files but C:\\windows, and the user's keys, once every program
        of the prefix has ended."""
        server = os.path.join(os.path.dirname(cls.wine), "wineserver")
        run(server, "-w", env=cls.env)
        files = set()
        for top, dirs, names in os.walk(cls.drive):
            files.update(os.path.join(top, name) for name in dirs + names)
        files = {f for f in files if not f.startswith(os.path.join(cls.drive, "windows"))}
        registry = read_bytes(os.path.join(cls.tmp, "user.reg"))
        return files, set(re.findall(rb"(?m)^\[[^]]*\]", registry))

    def test_the_installer_ends_with_0(self):
        self.assertEqual(self.installer, 0)

    def test_the_uninstaller_ends_with_0(self):
        self.assertEqual(self.uninstaller, 0)

    def test_an_uninstall_key_names_the_program_and_its_version(self):
        self.assertEqual((self.values.get("DisplayName"), self.values.get("DisplayVersion")),
                         ("Prekidnik", "1.00"))

    def test_installs_for_the_user_alone(self):
        self.assertTrue(self.home.endswith(r"\AppData\Local\Programs\Prekidnik"), self.home)

    def test_the_uninstall_key_says_how_to_uninstall_quietly(self):
        self.assertEqual(self.values.get("QuietUninstallString"),
                         f'"{self.home}\\uninstall.exe" /S')

    def test_the_built_program_is_installed(self):
        self.assertTrue(self.exe == read_bytes(self.built), "prekidnik.exe differs or is missing")

    def test_a_start_menu_shortcut_starts_the_program_with_its_icon(self):
        # Byte 20 holds the link's flags: 0x40, an icon location.
        with_icon = [link for link in self.links if link[20] & 0x40
                     and b"prekidnik.exe" in link.lower().replace(b"\0", b"")]
        self.assertEqual(len(with_icon), 1, f"{len(self.links)} shortcuts named Prekidnik")

    def test_the_uninstaller_leaves_nothing(self):
        self.assertEqual(self.left, [])


class Reproducible(unittest.TestCase):
    """Two builds of TARGETS in folders of different names, dated by the last
    commit as any build is: the same bytes in each FILE."""
    source = preset = targets = files = None  # set by main

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="prekidnik-twice-")
        cls.addClassCleanup(shutil.rmtree, cls.tmp, ignore_errors=True)
        env = dict(os.environ)
        env.pop("SOURCE_DATE_EPOCH", None)
        cls.builds = [os.path.join(cls.tmp, "a"), os.path.join(cls.tmp, "second-build")]
        for build in cls.builds:
            configured = run("cmake", "--preset", cls.preset, "-B", build, "-DBUILD_TESTING=OFF",
                             cwd=cls.source, env=env)
            if configured.returncode != 0:
                raise AssertionError(configured.stdout + configured.stderr)
            made = run("cmake", "--build", build, "-j", "2", "--target", *cls.targets.split(),
                       cwd=cls.source, env=env)
            if made.returncode != 0:
                raise AssertionError(made.stdout + made.stderr)

    def test_each_file_has_the_same_bytes_in_both_builds(self):
        for name in self.files:
            with self.subTest(file=name):
                first, second = (read_bytes(os.path.join(b, name)) for b in self.builds)
                self.assertIsNotNone(first, "not built")
                self.assertTrue(first == second, "the builds differ")


def arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    deb = commands.add_parser("deb", help="the Debian package")
    deb.add_argument("build", help="the linux preset's build folder")
    deb.add_argument("ico", help="the Windows icon, whose images the PNG icons must be")
    zipped = commands.add_parser("zip", help="a Windows zip")
    zipped.add_argument("archive")
    zipped.add_argument("exe", help="the built prekidnik.exe")
    zipped.add_argument("version", help="the version the read-me names")
    wine = commands.add_parser("wine", help="the Windows installer under 32-bit Wine")
    wine.add_argument("wine")
    wine.add_argument("setup", help="the installer")
    wine.add_argument("built", help="the built prekidnik.exe")
    twice = commands.add_parser("reproducible", help="two builds, the same bytes")
    twice.add_argument("source")
    twice.add_argument("preset")
    twice.add_argument("targets", help="the targets to build, separated by spaces")
    twice.add_argument("files", nargs="+", help="files of the build folder to compare")
    return parser.parse_args()


def main():
    args = arguments()
    needed = list(NEEDS[args.command])
    if args.command == "reproducible":
        needed += PRESET_NEEDS.get(args.preset, [])
    missing = [tool for tool in needed if shutil.which(tool) is None]
    if missing:
        print(f"Skipped: missing {' '.join(missing)} (scripts/install-deps.sh)")
        return SKIPPED
    cases = {"deb": Deb, "zip": Zip, "wine": WineInstall, "reproducible": Reproducible}
    case = cases[args.command]
    for name, value in vars(args).items():
        if name != "command":
            setattr(case, name, value)
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(case)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    if result.wasSuccessful():
        return 0
    return 1


if __name__ == "__main__":
    sys.exit(main())
