#!/usr/bin/env python3
"""Checks a Windows zip: the built prekidnik.exe and a read-me that Notepad
shows as it is (UTF-8 with a byte order mark, CRLF line ends only).

Usage: check_zip.py ZIP PREKIDNIK.exe VERSION_TEXT
"""
import sys
import zipfile

path, exe, version = sys.argv[1:4]
with zipfile.ZipFile(path) as archive:
    names = archive.namelist()
    members = {name: archive.read(name) for name in names}
problems = []
if names != ["prekidnik.exe", "procitaj-me.txt"]:
    problems.append(f"members {names}")
with open(exe, "rb") as f:
    if members.get("prekidnik.exe") != f.read():
        problems.append("prekidnik.exe is not the built one")
readme = members.get("procitaj-me.txt", b"")
if not readme.startswith(b"\xef\xbb\xbf"):
    problems.append("the read-me has no UTF-8 byte order mark")
if readme.count(b"\n") == 0 or readme.count(b"\n") != readme.count(b"\r\n"):
    problems.append("the read-me's lines do not all end in CRLF")
text = readme.decode("utf-8", "replace")
if f"Prekidnik {version}" not in text or "prekidnik.exe" not in text or "@" in text:
    problems.append("the read-me lacks the version or how to start the program")
print("\n".join(problems) or f"{path}: {', '.join(names)}, read-me of {len(readme)} bytes")
sys.exit(1 if problems else 0)
