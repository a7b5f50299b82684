#!/usr/bin/env python3
"""The packages as their users get them: a command a check (CMakeLists.txt), each a table of
named rows, failed if one fails, skipped with the reason if a tool it needs is missing."""
import contextlib, os, re, shutil, subprocess, sys, tempfile, zipfile  # noqa: E401

NEEDS = {"deb": "lintian desktop-file-validate appstreamcli dpkg-deb dpkg-shlibdeps Xvfb xdotool convert",
         "wine": "makensis Xvfb", "linux": "dpkg-deb dpkg-shlibdeps", "windows-i686": "makensis"}


def run(*argv, text=True, **kw):
    return subprocess.run(argv, capture_output=True, text=text, errors="replace" if text else None, **kw)


def read(path):
    return open(path, "rb").read() if os.path.isfile(path) else None


def finish(table):
    print(*(("ok   " if ok else "FAIL ") + what for what, ok in table), sep="\n")
    sys.exit(sum(not ok for _, ok in table))


@contextlib.contextmanager
def display():  # the environment of a fresh Xvfb display, stopped afterwards
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        yield dict(os.environ, DISPLAY=":" + xvfb.stdout.readline().decode().strip())
    finally:
        xvfb.kill()


def deb(build, ico):
    rgba = lambda image: run("convert", image, "-depth", "8", "rgba:-", text=False).stdout  # noqa: E731
    with tempfile.TemporaryDirectory(prefix="prekidnik-deb-") as tmp:
        made = run("cpack", "-G", "DEB", "--config", "CPackConfig.cmake", "-B", tmp, cwd=build)
        debs = [f for f in os.listdir(tmp) if f.endswith(".deb")]
        (made.returncode or debs != ["prekidnik_1.0.0_amd64.deb"]) and sys.exit(f"{debs}\n{made.stdout}{made.stderr}")
        package, root, share = f"{tmp}/{debs[0]}", f"{tmp}/root", f"{tmp}/root/usr/share"
        run("dpkg-deb", "-x", package, root)
        tags = re.findall("(?m)^[EW]: .*", run("lintian", "--allow-root", "--info", "--display-info", package).stdout)
        desktop = run("desktop-file-validate", f"{share}/applications/org.example.prekidnik.desktop")
        metainfo = run("appstreamcli", "validate", "--no-net", f"{share}/metainfo/org.example.prekidnik.metainfo.xml")
        with display() as env:
            env.update(QT_QPA_PLATFORM="xcb", DBUS_SYSTEM_BUS_ADDRESS="unix:path=/none",
                       DBUS_SESSION_BUS_ADDRESS="unix:path=/none")
            app = subprocess.Popen([f"{root}/usr/bin/prekidnik"], env=env, stderr=subprocess.DEVNULL)
            shown = run("timeout", "30", "xdotool", "search", "--sync", "--onlyvisible",
                        "--pid", str(app.pid), "--name", "^Prekidnik$", env=env).returncode == 0
            app.kill()
        finish([(f"lintian: no error, no warning {tags}", not tags),
                (f"desktop-file-validate {desktop.stdout}", not desktop.returncode and " error:" not in desktop.stdout),
                (f"appstreamcli validate {metainfo.stdout}", metainfo.returncode == 0),
                ("the installed program shows its window", shown),
                ("the scalable icon", os.path.isfile(f"{share}/icons/hicolor/scalable/apps/prekidnik.svg"))]
               + [(f"the {size}x{size} icon is the .ico's image", rgba(f"{ico}[{i}]") ==
                   rgba(f"{share}/icons/hicolor/{size}x{size}/apps/prekidnik.png")) for i, size in enumerate((16, 32, 48))])


def zip(path, exe, version):
    with zipfile.ZipFile(path) as archive:
        members = {name: archive.read(name) for name in archive.namelist()}
    readme = members.get("procitaj-me.txt", b"")
    finish([(f"members {list(members)}", list(members) == ["prekidnik.exe", "procitaj-me.txt"]),
            ("prekidnik.exe is the built one", members.get("prekidnik.exe") == read(exe)),
            ("the read-me as Notepad shows it: UTF-8 with a byte order mark, CRLF line ends only",
             readme.startswith(b"\xef\xbb\xbf") and 0 < readme.count(b"\n") == readme.count(b"\r\n")),
            ("the read-me names the version and prekidnik.exe", b"@" not in readme
             and f"Prekidnik {version}".encode() in readme and b"prekidnik.exe" in readme)])


def wine(wine, setup, built):
    """Installs and uninstalls silently in a throwaway 32-bit prefix that reports Windows XP."""
    server = f"{os.path.dirname(wine)}/wineserver"
    with display() as env, tempfile.TemporaryDirectory(prefix="prekidnik-wine-") as prefix:
        env.update(WINEARCH="win32", WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        drive = prefix + "/drive_c"

        def snapshot():  # the files but C:\windows, and the user's keys, once every program ended
            run(server, "-w", env=env)
            files = {f"{top}/{name}" for top, dirs, names in os.walk(drive) for name in dirs + names}
            return ({f for f in files if not f.startswith(drive + "/windows")},
                    set(re.findall(rb"(?m)^\[[^]]*\]", read(prefix + "/user.reg"))))

        try:
            run(wine, "winecfg", "-v", "winxp", env=env)
            files, keys = snapshot()
            installer = run(wine, setup, "/S", env=env).returncode
            installed = snapshot()[0] - files
            values = dict(re.findall(r"(?m)^ +(\w+) +REG_\w+ +(.*?)\r?$", run(wine, "reg", "query", r"HKCU\Software"
                                     r"\Microsoft\Windows\CurrentVersion\Uninstall\Prekidnik", env=env).stdout))
            home = values.get("InstallLocation", "")
            exe = read(os.path.join(drive, *home[3:].split("\\"), "prekidnik.exe"))
            link = [read(f) for f in installed if f.endswith("/Start Menu/Programs/Prekidnik.lnk")]
            uninstaller = run(wine, home + r"\uninstall.exe", "/S", env=env).returncode
            left, left_keys = snapshot()  # the uninstaller goes on in a copy of itself
        finally:
            run(server, "-k", env=env)
        left = sorted(left - files) + [k for k in left_keys - keys if b"prekidnik" in k.lower()]
        finish([(f"the installer and the uninstaller end with 0 ({installer}, {uninstaller})",
                 installer == uninstaller == 0),
                (f"an Uninstall key for the user's copy: {values}",
                 (values.get("DisplayName"), values.get("DisplayVersion")) == ("Prekidnik", "1.00")
                 and home.endswith(r"\AppData\Local\Programs\Prekidnik")
                 and values.get("QuietUninstallString") == f'"{home}\\uninstall.exe" /S'),
                ("the built prekidnik.exe installed", exe == read(built)),
                ("a Start-menu shortcut to prekidnik.exe with its icon",
                 any(f[20] & 0x40 and b"prekidnik.exe" in f.lower().replace(b"\0", b"") for f in link)),
                (f"nothing left: {left}", not left)])


def reproducible(source, preset, targets, *files):
    """Two builds in folders of different names, dated by the last commit as any build: the same bytes."""
    os.environ.pop("SOURCE_DATE_EPOCH", None)
    with tempfile.TemporaryDirectory(prefix="prekidnik-twice-") as tmp:
        for build in (f"{tmp}/a", f"{tmp}/second-build"):
            made = run("sh", "-c", f"cmake --preset {preset} -B {build} -DBUILD_TESTING=OFF && "
                       f"cmake --build {build} -j 2 --target {targets}", cwd=source)
            made.returncode and sys.exit(made.stdout + made.stderr)
        finish([(f"the same {file}", read(f"{tmp}/a/{file}") == read(f"{tmp}/second-build/{file}")) for file in files])


missing = [tool for arg in sys.argv[1:4] for tool in NEEDS.get(arg, "").split() if not shutil.which(tool)]
missing and sys.exit(print(f"Skipped: missing {' '.join(missing)} (scripts/install-deps.sh)") or 77)
globals()[sys.argv[1]](*sys.argv[2:])
