"""The windows' design in twips, as the program states it (main_window/,
about/): every pixel the cases expect is computed from here at the dpi."""

MAIN = (2370, 1980, 8805, 5025)  # the main window's client area: left, top, width, height
ABOUT_SIZE = (3780, 2820)
CONTROLS = {
    "Label2": (810, 495, 6045, 615), "lblTime": (2010, 1005, 3585, 1005),
    "Label1": (1380, 2175, 5145, 495), "Text1": (1305, 2850, 5235, 375),
    "Prekidnikuj!": (1755, 3315, 1245, 525), "Minimizuj!": (3150, 3315, 1245, 525),
    "IP Adresa": (4590, 3330, 1245, 525), "O autoru": (2490, 3960, 1245, 525),
    "Izlaz!": (3870, 3960, 1245, 525),
}
ELLIPSE = (25, 23, 483, 335)  # the window's region, in pixels at 96 dpi
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
