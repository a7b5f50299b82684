#!/usr/bin/env python3
"""Builds the Debian package from a build folder and checks it the way a
distribution would: lintian, desktop-file-validate and appstreamcli, the
files it installs, and the installed program starting on a virtual display.

Usage: check_deb.py BUILD_DIR ICO
"""
import os
import re
import struct
import subprocess
import sys
import tempfile
import zlib

from checks import check, failures, finish, shows_window, virtual_display

build_dir, ico_path = sys.argv[1:3]


def run(*argv, **kw):
    return subprocess.run(argv, capture_output=True, text=True, **kw)


def png_rgba(data):
    """The pixels of an 8-bit RGBA PNG without filters, as the build writes."""
    width, height, depth, colour = struct.unpack(">IIBB", data[16:26])
    assert (depth, colour) == (8, 6), "not 8-bit RGBA"
    body, pos = b"", 8
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        if kind == b"IDAT":
            body += data[pos + 8:pos + 8 + length]
        pos += 12 + length
    raw = zlib.decompress(body)
    stride = 1 + 4 * width
    assert all(raw[r * stride] == 0 for r in range(height)), "filtered rows"
    return width, b"".join(raw[r * stride + 1:(r + 1) * stride] for r in range(height))


def ico_rgba(data):
    """Each image of a 32-bit .ico, by size, as top-down RGBA."""
    images = {}
    for i in range(struct.unpack("<H", data[4:6])[0]):
        size, _, _, _, _, _, _, offset = struct.unpack("<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
        pixels = data[offset + 40:offset + 40 + 4 * size * size]
        rows = [pixels[r * 4 * size:(r + 1) * 4 * size] for r in reversed(range(size))]
        images[size] = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in rows
                                for p in zip(*[iter(row)] * 4))
    return images


with tempfile.TemporaryDirectory(prefix="prekidnik-deb-") as tmp:
    made = run("cpack", "-G", "DEB", "--config", f"{build_dir}/CPackConfig.cmake", "-B", tmp,
               cwd=build_dir)
    debs = [f for f in os.listdir(tmp) if f.endswith(".deb")]
    check(made.returncode == 0 and debs == ["prekidnik_1.0.0_amd64.deb"],
          f"cpack made prekidnik_1.0.0_amd64.deb ({debs})")
    if failures:
        sys.exit(made.stdout + made.stderr)
    deb = os.path.join(tmp, debs[0])
    print(f"     {os.path.getsize(deb)} bytes")

    lintian = run("lintian", "--allow-root", "--info", "--display-info", deb)
    print(lintian.stdout + lintian.stderr, end="")
    check(not re.search(r"^[EW]: ", lintian.stdout, re.M), "lintian: no error, no warning")

    depends = run("dpkg-deb", "-f", deb, "Depends").stdout
    check("libqt6widgets6" in depends and "libc6" in depends,
          f"dependencies computed from the binary: {depends.strip()}")

    root = os.path.join(tmp, "root")
    run("dpkg-deb", "-x", deb, root)
    share = os.path.join(root, "usr/share")
    desktop = os.path.join(share, "applications/org.example.prekidnik.desktop")
    metainfo = os.path.join(share, "metainfo/org.example.prekidnik.metainfo.xml")
    for path in (desktop, metainfo, "usr/bin/prekidnik", "usr/share/man/man1/prekidnik.1.gz",
                 "usr/share/doc/prekidnik/copyright", "usr/share/doc/prekidnik/changelog.gz",
                 "usr/share/icons/hicolor/scalable/apps/prekidnik.svg"):
        path = os.path.join(root, path)
        check(os.path.isfile(path), "installs /" + os.path.relpath(path, root))

    validated = run("desktop-file-validate", desktop)
    print(validated.stdout, end="")
    check(validated.returncode == 0 and " error:" not in validated.stdout, "desktop-file-validate")
    validated = run("appstreamcli", "validate", "--no-net", metainfo)
    print(validated.stdout, end="")
    check(validated.returncode == 0, "appstreamcli validate --no-net")

    # The hicolor images are the Windows icon's, pixel for pixel.
    with open(ico_path, "rb") as f:
        ico = ico_rgba(f.read())
    for size in (16, 32, 48):
        with open(f"{share}/icons/hicolor/{size}x{size}/apps/prekidnik.png", "rb") as f:
            width, pixels = png_rgba(f.read())
        check(width == size and pixels == ico.get(size), f"{size}x{size} icon is the .ico's image")

    # The installed program shows its window.
    with virtual_display() as display:
        env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb",
                   DBUS_SYSTEM_BUS_ADDRESS="unix:path=/nonexistent",
                   DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent")
        app = subprocess.Popen([os.path.join(root, "usr/bin/prekidnik")], env=env,
                               stderr=subprocess.DEVNULL)
        try:
            check(shows_window(env, 30, "--pid", str(app.pid)),
                  "the installed program shows its window")
        finally:
            app.kill()
            app.wait()

finish()
