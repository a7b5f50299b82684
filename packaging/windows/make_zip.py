#!/usr/bin/env python3
"""Writes a zip whose bytes depend only on its members' names and contents:
members sorted by name, each dated SOURCE_DATE_EPOCH, with fixed attributes.
Members named *.txt are plain text for Windows: CRLF line ends, and a UTF-8
byte order mark so that Notepad reads them as UTF-8.

Usage: make_zip.py OUTPUT.zip EPOCH NAME=FILE...
"""
import sys
import time
import zipfile


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__.split("\n\n", 1)[1])
    output, epoch = sys.argv[1], int(sys.argv[2])
    # A zip has no dates before 1980.
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    members = sorted(arg.split("=", 1) for arg in sys.argv[3:])
    with zipfile.ZipFile(output, "w") as archive:
        for name, path in members:
            with open(path, "rb") as f:
                data = f.read()
            if name.lower().endswith(".txt"):
                text = data.decode("utf-8").replace("\r\n", "\n")
                data = b"\xef\xbb\xbf" + text.replace("\n", "\r\n").encode("utf-8")
            info = zipfile.ZipInfo(name, stamp)
            info.create_system = 0  # MS-DOS attributes, as Windows writes them
            info.external_attr = 0x20  # archive
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data, compresslevel=9)


if __name__ == "__main__":
    main()
