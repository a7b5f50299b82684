"""The windows' designs as the program holds them, read from what the build's
tool writes (tests/e2e/dump_designs.cpp): every place and size the
end-to-end cases expect on the screen is computed from here at a dpi."""

TWIPS_PER_INCH = 1440

# A point of the main window's surface inside the ellipse and on no control,
# in twips: where the cases press and drag the window as a person grabs it.
BARE = (900, 2685)


def pixels(twips, dpi):
    """Twips as whole pixels at `dpi`, halves rounded up."""
    return int(twips * dpi / TWIPS_PER_INCH + 0.5)


def box(twips_box, dpi):
    """A box (or point) given in twips, in pixels at `dpi`."""
    return tuple(pixels(v, dpi) for v in twips_box)


class Designs:
    """The main window's and the About window's designs, and the main
    window's ellipse, from the tool's JSON `tables`."""

    def __init__(self, tables):
        main = tables["forms"]["ShapedForm"]
        about = tables["forms"]["Form1"]
        # The main window's client area: left, top, width, height.
        self.main = (main["left"], main["top"], main["clientWidth"], main["clientHeight"])
        self.about_size = (about["clientWidth"], about["clientHeight"])
        self.controls = {}
        for c in main["controls"]:
            box = (c["left"], c["top"], c["width"], c["height"])
            self.controls[c["name"]] = box
            if c["kind"] == "CommandButton":  # a button by its caption too
                self.controls[c["caption"].replace("&", "")] = box
        ellipse = tables["ellipse"]
        twips_per_pixel = ellipse["twipsPerPixel"]
        # The ellipse's bounding box in twips.
        self.ellipse = tuple(ellipse[k] * twips_per_pixel
                             for k in ("left", "top", "right", "bottom"))

    def control(self, label):
        """A control of the main window, by name ("Text1") or, for a button,
        by its caption without the access key's mark ("Izlaz!"): its left,
        top, width and height in twips."""
        return self.controls[label]

    def ellipse_samples(self, dpi, margin=4):
        """Points of the main window's client area, in its pixels at `dpi`: a
        few pixels inside the ellipse on its axes and a diagonal, and the bare
        point (`inside`); as far outside on the same lines, and the corners
        (`outside`)."""
        x1, y1, x2, y2 = (v * dpi / TWIPS_PER_INCH for v in self.ellipse)
        centre_x, centre_y = (x1 + x2) / 2, (y1 + y2) / 2
        radius_x, radius_y = (x2 - x1) / 2, (y2 - y1) / 2
        width, height = pixels(self.main[2], dpi), pixels(self.main[3], dpi)

        def on_line(dx, dy, distance):
            return (round(centre_x + dx * (radius_x + distance)),
                    round(centre_y + dy * (radius_y + distance)))

        lines = ((1, 0), (-1, 0), (0, 1), (0, -1), (0.7071, 0.7071), (-0.7071, -0.7071))
        inside = [on_line(dx, dy, -margin) for dx, dy in lines] + [box(BARE, dpi)]
        outside = []
        for dx, dy in lines:
            x, y = on_line(dx, dy, margin)
            if x < width and y < height:
                outside.append((x, y))
        corners = [(2, 2), (width - 3, 2), (2, height - 3), (width - 3, height - 3)]
        return inside, outside + corners
