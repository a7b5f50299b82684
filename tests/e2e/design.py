"""The windows' design in twips, read from the program's own design tables
(main_window/, about/): every pixel the cases expect is computed from here at
the dpi."""
import os
import re

_ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def _read(path):
    return open(os.path.join(_ROOT, path)).read()


def _numbers(text):  # a form's own: clientWidth, left, ...
    return {k: int(v) for k, v in re.findall(r"(?m)^ {4}\.(\w+) = (\d+),$", text)}


def _boxes(text):
    """The controls' left, top, width, height: a button by its caption, any other by its name."""
    rows = re.findall(r'\.name = "(\w+)", \.kind = ControlKind::(\w+),\s*\.caption = "([^"]*)",'
                      r"\s*\.left = (\d+), \.top = (\d+), \.width = (\d+), \.height = (\d+)", text)
    return {caption.replace("&", "") if kind == "CommandButton" else name: tuple(map(int, box))
            for name, kind, caption, *box in rows}


_main = _read("main_window/shaped_form.cpp")
CONTROLS = _boxes(_main)
MAIN = tuple(_numbers(_main)[k] for k in ("left", "top", "clientWidth", "clientHeight"))  # the client area
ABOUT_SIZE = tuple(_numbers(_read("about/form1.cpp"))[k] for k in ("clientWidth", "clientHeight"))
_corners = dict(re.findall(r"kEllipse(\w+) = (\d+)", _read("main_window/form_region.h")))
ELLIPSE = tuple(int(_corners[k]) for k in ("Left", "Top", "Right", "Bottom"))  # the region, in pixels at 96 dpi
BARE = (900, 2685)  # on the window's surface, inside the ellipse, on no control


def pixels(twips, dpi):
    return int(twips * dpi / 1440 + 0.5)


def box(twips_box, dpi):
    return tuple(pixels(v, dpi) for v in twips_box)


def ellipse_samples(dpi, margin=4):
    """Points of the client area (its pixels at `dpi`) a few pixels inside and
    outside the ellipse on its axes and a diagonal, and the corners."""
    x1, y1, x2, y2 = (v * dpi / 96 for v in ELLIPSE)
    cx, cy, rx, ry = (x1 + x2) / 2, (y1 + y2) / 2, (x2 - x1) / 2, (y2 - y1) / 2
    w, h = pixels(MAIN[2], dpi), pixels(MAIN[3], dpi)
    at = lambda dx, dy, m: (round(cx + dx * (rx + m)), round(cy + dy * (ry + m)))  # noqa: E731
    axes = ((1, 0), (-1, 0), (0, 1), (0, -1), (0.7071, 0.7071), (-0.7071, -0.7071))
    inside = [at(dx, dy, -margin) for dx, dy in axes] + [box(BARE, dpi)]
    outside = [p for p in (at(dx, dy, margin) for dx, dy in axes) if p[0] < w and p[1] < h]
    return inside, outside + [(2, 2), (w - 3, 2), (2, h - 3), (w - 3, h - 3)]
