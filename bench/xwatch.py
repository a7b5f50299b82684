"""Watches an X display and prints, with the wall-clock time at which the
event reached this client, every top-level window being mapped and every
drawing into a mapped top-level window:

    <CLOCK_REALTIME ns> map <window>
    <CLOCK_REALTIME ns> damage <window> <x> <y> <width> <height>

Drawing is seen through the X DAMAGE extension (raw rectangles), so a line is
printed once the X server has drawn the pixels: what a person would see.
Uses Xlib and libXdamage through ctypes; no development headers needed.
Runs until the display goes away or it is killed.

    DISPLAY=:5 python3 bench/xwatch.py
"""

import ctypes
import ctypes.util
import sys
import time

DESTROY_NOTIFY = 17
MAP_NOTIFY = 19
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
DAMAGE_REPORT_RAW_RECTANGLES = 0


def load(name, soname):
    path = ctypes.util.find_library(name) or soname
    return ctypes.CDLL(path)


def main():
    xlib = load("X11", "libX11.so.6")
    xdamage = load("Xdamage", "libXdamage.so.1")

    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XDefaultRootWindow.restype = ctypes.c_ulong
    xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    xlib.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
    xlib.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
    xlib.XFlush.argtypes = [ctypes.c_void_p]
    xdamage.XDamageQueryExtension.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                              ctypes.POINTER(ctypes.c_int)]
    xdamage.XDamageQueryVersion.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                            ctypes.POINTER(ctypes.c_int)]
    xdamage.XDamageCreate.restype = ctypes.c_ulong
    xdamage.XDamageCreate.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int]

    # A window may be gone by the time it is asked for: ignore X errors
    # instead of letting Xlib end the process.
    handler_type = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
    ignore = handler_type(lambda display, error: 0)
    xlib.XSetErrorHandler.argtypes = [handler_type]
    xlib.XSetErrorHandler(ignore)

    display = xlib.XOpenDisplay(None)
    if not display:
        sys.exit("xwatch: cannot open the display")
    event_base, error_base = ctypes.c_int(), ctypes.c_int()
    if not xdamage.XDamageQueryExtension(display, ctypes.byref(event_base),
                                         ctypes.byref(error_base)):
        sys.exit("xwatch: the X server has no DAMAGE extension")
    major, minor = ctypes.c_int(1), ctypes.c_int(1)
    xdamage.XDamageQueryVersion(display, ctypes.byref(major), ctypes.byref(minor))
    damage_notify = event_base.value

    root = xlib.XDefaultRootWindow(display)
    xlib.XSelectInput(display, root, SUBSTRUCTURE_NOTIFY_MASK)
    xlib.XFlush(display)
    print(f"{time.time_ns()} ready", flush=True)

    event = (ctypes.c_ubyte * 192)()
    address = ctypes.addressof(event)
    watched = set()
    out = sys.stdout
    while True:
        xlib.XNextEvent(display, event)
        now = time.time_ns()
        kind = ctypes.c_int.from_address(address).value
        if kind == DESTROY_NOTIFY:
            # XDestroyWindowEvent: the window at offset 40. X may give its
            # number to a new window later.
            watched.discard(ctypes.c_ulong.from_address(address + 40).value)
            continue
        if kind == MAP_NOTIFY:
            # XMapEvent: the mapped window at offset 40.
            window = ctypes.c_ulong.from_address(address + 40).value
            out.write(f"{now} map {window}\n")
            if window not in watched:
                watched.add(window)
                xdamage.XDamageCreate(display, window, DAMAGE_REPORT_RAW_RECTANGLES)
                xlib.XFlush(display)
        elif kind == damage_notify:
            # XDamageNotifyEvent: drawable at 32, area (x, y, w, h) at 64.
            window = ctypes.c_ulong.from_address(address + 32).value
            x = ctypes.c_short.from_address(address + 64).value
            y = ctypes.c_short.from_address(address + 66).value
            w = ctypes.c_ushort.from_address(address + 68).value
            h = ctypes.c_ushort.from_address(address + 70).value
            out.write(f"{now} damage {window} {x} {y} {w} {h}\n")
        else:
            continue
        out.flush()


if __name__ == "__main__":
    try:
        main()
    except (BrokenPipeError, KeyboardInterrupt):
        pass
