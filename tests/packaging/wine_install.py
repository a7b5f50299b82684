#!/usr/bin/env python3
"""Installs Prekidnik with its installer, silently, in a throwaway 32-bit
Wine prefix that reports Windows XP; checks the files, the Start-menu
shortcut and the Uninstall key; starts the installed program and waits for
its window; uninstalls silently and checks that nothing of it is left.

Usage: wine_install.py WINE SETUP.exe PREKIDNIK.exe
"""
import os
import struct
import subprocess
import sys
import tempfile
import time

from checks import check, finish, shows_window, virtual_display

wine, setup, built_exe = sys.argv[1:4]
server = os.path.join(os.path.dirname(wine), "wineserver")
KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Prekidnik"


def run(*argv, check_status=True):
    done = subprocess.run(argv, env=env, capture_output=True, text=True, errors="replace",
                          timeout=120)
    if check_status and done.returncode != 0:
        sys.exit(f"{argv} failed ({done.returncode}): {done.stderr}")
    return done


def settle():
    """Waits for every program of the prefix to end; the registry is then on disk."""
    run(server, "-w")


def snapshot():
    settle()
    drive = os.path.join(prefix, "drive_c")
    files = set()
    for top, dirs, names in os.walk(drive):
        if top == drive:
            dirs.remove("windows")
        files.update(os.path.relpath(os.path.join(top, n), drive) for n in dirs + names)
    with open(os.path.join(prefix, "user.reg"), encoding="utf-8", errors="replace") as f:
        keys = {line.rsplit("]", 1)[0] for line in f if line.startswith("[")}
    return files, keys


def uninstall_values():
    done = run(wine, "reg", "query", KEY, check_status=False)
    values = {}
    for line in done.stdout.splitlines():
        parts = line.split(None, 2)
        if len(parts) == 3 and parts[1].startswith("REG_"):
            values[parts[0]] = parts[2]
    return values if done.returncode == 0 else None


def link_icon_and_target(path):
    """Whether a .lnk names an icon, and whether it points at prekidnik.exe."""
    with open(path, "rb") as f:
        data = f.read()
    flags = struct.unpack("<I", data[20:24])[0]
    has_icon = bool(flags & 0x40)  # HasIconLocation
    names = data.lower()
    return has_icon, b"prekidnik.exe" in names or "prekidnik.exe".encode("utf-16-le") in names


with virtual_display() as display, tempfile.TemporaryDirectory(prefix="prekidnik-wine-") as tmp:
    prefix = os.path.join(tmp, "prefix")
    env = dict(os.environ, WINEARCH="win32", WINEPREFIX=prefix, WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=", DISPLAY=display)
    try:
        started = time.monotonic()
        run(wine, "wineboot", "-i")
        run(wine, "winecfg", "-v", "winxp")
        # No window manager here: Wine places the windows itself.
        run(wine, "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N",
            "/f")
        print("     prefix ready in %.1f s; %s" % (time.monotonic() - started,
                                                   run(wine, "cmd", "/c", "ver").stdout.strip()))
        files_before, keys_before = snapshot()

        started = time.monotonic()
        installed = run(wine, setup, "/S", check_status=False)
        files_installed, _ = snapshot()
        print("     installed in %.1f s" % (time.monotonic() - started))
        check(installed.returncode == 0, f"the installer ends with 0 ({installed.returncode})")
        values = uninstall_values() or {}
        check(values.get("DisplayName") == "Prekidnik" and values.get("DisplayVersion") == "1.00",
              f"Uninstall key with name and version: {values}")
        location = values.get("InstallLocation", "")
        check("AppData\\Local\\Programs\\Prekidnik" in location,
              f"installed for the user: {location}")
        new = sorted(files_installed - files_before)
        print("     new files: " + ", ".join(new))
        install_dir = (run(wine, "winepath", "-u", location).stdout.strip() if location
                       else "/nonexistent")
        exe = os.path.join(install_dir, "prekidnik.exe")
        with open(built_exe, "rb") as a:
            check(os.path.isfile(exe) and open(exe, "rb").read() == a.read(),
                  "prekidnik.exe installed, the built one")
        check(os.path.isfile(os.path.join(install_dir, "uninstall.exe")), "uninstall.exe installed")
        links = [f for f in new if f.endswith("Start Menu/Programs/Prekidnik.lnk")]
        check(len(links) == 1, "a Start-menu shortcut")
        if links:
            has_icon, target = link_icon_and_target(os.path.join(prefix, "drive_c", links[0]))
            check(has_icon and target, "the shortcut starts prekidnik.exe and has its icon")

        # The installed program shows its window.
        app = subprocess.Popen([wine, location + "\\prekidnik.exe"], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        check(shows_window(env, 60), "the installed program shows its window")
        run(server, "-k", check_status=False)
        app.wait()

        started = time.monotonic()
        quiet = values.get("QuietUninstallString", "")
        check(quiet.endswith(" /S"), f"a quiet uninstall command: {quiet}")
        uninstaller = quiet[:-len(" /S")].strip('"')
        removed = run(wine, uninstaller or "nonexistent.exe", "/S", check_status=False)
        # The uninstaller goes on in a copy of itself; the snapshot waits for it.
        files_after, keys_after = snapshot()
        print("     uninstalled in %.1f s" % (time.monotonic() - started))
        check(removed.returncode == 0, f"the uninstaller ends with 0 ({removed.returncode})")
        left = sorted(files_after - files_before)
        check(not left, f"no file or shortcut left: {left}")
        check(uninstall_values() is None, "no Uninstall key left")
        # An empty Uninstall key may stay: Windows has it anyway.
        stray = [k for k in keys_after - keys_before if "prekidnik" in k.lower()]
        check(not stray, f"no registry key of the program left: {stray}")
    finally:
        subprocess.run([server, "-k"], env=env, capture_output=True)

finish()
