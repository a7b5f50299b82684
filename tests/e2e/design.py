"""The windows' design as the program states it (main_window/shaped_form.cpp,
about/), in twips; every pixel the end-to-end cases expect is computed from
here, at the display's dpi."""

TWIPS_PER_INCH = 1440

# The main window's client area on the screen: left, top, width, height.
MAIN = (2370, 1980, 8805, 5025)
ABOUT_SIZE = (3780, 2820)

# Control boxes in the main window: left, top, width, height.
CONTROLS = {
    "Label2": (810, 495, 6045, 615),
    "lblTime": (2010, 1005, 3585, 1005),
    "Label1": (1380, 2175, 5145, 495),
    "Text1": (1305, 2850, 5235, 375),
    "Prekidnikuj!": (1755, 3315, 1245, 525),
    "Minimizuj!": (3150, 3315, 1245, 525),
    "IP Adresa": (4590, 3330, 1245, 525),
    "O autoru": (2490, 3960, 1245, 525),
    "Izlaz!": (3870, 3960, 1245, 525),
}

# The window's region: an ellipse given in pixels of 15 twips (96 dpi).
ELLIPSE = (25, 23, 483, 335)
DESIGN_TWIPS_PER_PIXEL = 15
BARE = (900, 2685)  # on the window's surface, inside the ellipse, on no control


def pixels(twips, dpi):
    return int(twips * dpi / TWIPS_PER_INCH + 0.5)


def box(twips_box, dpi):
    return tuple(pixels(v, dpi) for v in twips_box)


def ellipse_samples(dpi, margin=4):
    """Points of the client area (in its pixels at `dpi`) a few pixels inside
    the ellipse and a few outside it, on its axes and diagonals, and the
    window's corners: (inside, outside)."""
    k = dpi / 96
    x1, y1, x2, y2 = (v * k for v in ELLIPSE)
    cx, cy, rx, ry = (x1 + x2) / 2, (y1 + y2) / 2, (x2 - x1) / 2, (y2 - y1) / 2
    inside, outside = [], []
    for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1), (0.7071, 0.7071), (-0.7071, -0.7071)):
        for radius_change, points in ((-margin, inside), (margin, outside)):
            points.append((round(cx + dx * (rx + radius_change)), round(cy + dy * (ry + radius_change))))
    w, h = pixels(MAIN[2], dpi), pixels(MAIN[3], dpi)
    outside = [(x, y) for x, y in outside if x < w and y < h]  # the ellipse touches the bottom
    outside += [(2, 2), (w - 3, 2), (2, h - 3), (w - 3, h - 3)]
    inside.append(tuple(pixels(v, dpi) for v in BARE))
    return inside, outside
