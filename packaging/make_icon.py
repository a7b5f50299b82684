#!/usr/bin/env python3
"""Draws Prekidnik's icon, a clock above a cut cable, and writes it as
prekidnik.ico with 16, 32 and 48 pixel images (32-bit colour with an AND
mask), as a PNG of one of those sizes, or as SVG. The .ico is kept in the
repository, beside the Windows resources that take it (platform/win32): run
this only to change it. The Linux package's PNG and SVG icons are written by
the build from the same shapes.

Usage: make_icon.py [OUTPUT.ico]   (default: platform/win32/prekidnik.ico)
       make_icon.py --png SIZE OUTPUT.png
       make_icon.py --svg OUTPUT.svg
"""
import math
import os
import struct
import sys
import zlib

SIZES = (16, 32, 48)
SAMPLES = 4  # per pixel and axis, for smooth edges

NAVY = (0, 0, 128)
FACE = (255, 255, 225)
BLACK = (0, 0, 0)
RED = (200, 0, 0)
CABLE = (64, 64, 64)
COPPER = (214, 120, 40)
SPARK = (255, 210, 0)

CX, CY, R = 0.44, 0.40, 0.36


# A shape is a tuple: ("disc", cx, cy, r), ("capsule", x1, y1, x2, y2,
# half_width) or ("polygon", points), in units of the image's side.
def disc(cx, cy, r):
    return ("disc", cx, cy, r)


def capsule(x1, y1, x2, y2, half_width):
    return ("capsule", x1, y1, x2, y2, half_width)


def polygon(points):
    return ("polygon", points)


def inside_test(shape):
    kind = shape[0]
    if kind == "disc":
        _, cx, cy, r = shape
        return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    if kind == "capsule":
        _, x1, y1, x2, y2, half_width = shape
        dx, dy = x2 - x1, y2 - y1
        length2 = dx * dx + dy * dy

        def inside(x, y):
            t = max(0.0, min(1.0, ((x - x1) * dx + (y - y1) * dy) / length2))
            px, py = x1 + t * dx, y1 + t * dy
            return (x - px) ** 2 + (y - py) ** 2 <= half_width * half_width

        return inside
    points = shape[1]

    def inside(x, y):
        result = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result

    return inside


def hand(angle_degrees, length, half_width):
    a = math.radians(angle_degrees)
    return capsule(CX, CY, CX + length * math.sin(a), CY - length * math.cos(a), half_width)


def layers(size):
    # Thin strokes would vanish at 16 pixels: keep them a pixel wide at least.
    px = 1.0 / size
    rim = max(0.06, 1.2 * px)
    layers = [
        (disc(CX, CY, R), NAVY),
        (disc(CX, CY, R - rim), FACE),
    ]
    if size >= 32:
        for hour in range(12):
            a = math.radians(hour * 30)
            inner = R - rim - (0.07 if hour % 3 == 0 else 0.04)
            outer = R - rim - 0.01
            layers.append((capsule(CX + inner * math.sin(a), CY - inner * math.cos(a),
                                   CX + outer * math.sin(a), CY - outer * math.cos(a),
                                   max(0.012, 0.5 * px)), NAVY))
    layers += [
        (hand(300, 0.17, max(0.035, 0.5 * px)), BLACK),  # ten o'clock
        (hand(60, 0.25, max(0.025, 0.45 * px)), BLACK),  # ten past
    ]
    if size >= 32:  # too fine for the smallest image
        layers.append((hand(180, 0.25, 0.012), RED))  # the second hand
    layers.append((disc(CX, CY, max(0.04, 0.6 * px)), BLACK))
    cable_y = 0.87
    half = max(0.055, 1.0 * px)
    wire = max(0.02, 0.5 * px)
    layers += [
        (capsule(0.03, cable_y, 0.36, cable_y, half), CABLE),
        (capsule(0.36, cable_y, 0.44, cable_y - 0.02, wire), COPPER),
        (capsule(0.64, cable_y, 0.97, cable_y, half), CABLE),
        (capsule(0.56, cable_y + 0.02, 0.64, cable_y, wire), COPPER),
        # the spark across the cut
        (polygon([(0.52, 0.70), (0.46, 0.85), (0.51, 0.85), (0.47, 0.99),
                  (0.58, 0.81), (0.53, 0.81), (0.58, 0.70)]), SPARK),
    ]
    return layers


def render(size):
    drawn = [(inside_test(shape), c) for shape, c in layers(size)]
    pixels = []
    for row in range(size):
        line = []
        for col in range(size):
            r = g = b = a = 0.0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (col + (sx + 0.5) / SAMPLES) / size
                    y = (row + (sy + 0.5) / SAMPLES) / size
                    colour = None
                    for inside, c in drawn:
                        if inside(x, y):
                            colour = c
                    if colour:
                        r += colour[0]
                        g += colour[1]
                        b += colour[2]
                        a += 1
            n = SAMPLES * SAMPLES
            if a:
                line.append((round(r / a), round(g / a), round(b / a), round(255 * a / n)))
            else:
                line.append((0, 0, 0, 0))
        pixels.append(line)
    return pixels


def dib(size, pixels):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for col, (_, _, _, a) in enumerate(row):
            if a < 128:  # transparent where mostly uncovered
                bits[col // 8] |= 0x80 >> (col % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def ico():
    images = [dib(s, render(s)) for s in SIZES]
    data = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        data += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        data += image
    return bytes(data)


def png(size):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body)))

    raw = bytearray()
    for row in render(size):
        raw.append(0)  # no filter
        for pixel in row:
            raw += bytes(pixel)
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


# The scalable icon: the shapes as drawn at this size, where no stroke needs
# widening to stay visible.
SVG_SIZE = 256


def svg():
    def n(v):
        return f"{v * SVG_SIZE:.2f}".rstrip("0").rstrip(".")

    lines = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{SVG_SIZE}" height="{SVG_SIZE}" '
             f'viewBox="0 0 {SVG_SIZE} {SVG_SIZE}">']
    for shape, (r, g, b) in layers(SVG_SIZE):
        colour = f"#{r:02x}{g:02x}{b:02x}"
        if shape[0] == "disc":
            _, cx, cy, radius = shape
            lines.append(f'<circle cx="{n(cx)}" cy="{n(cy)}" r="{n(radius)}" fill="{colour}"/>')
        elif shape[0] == "capsule":
            _, x1, y1, x2, y2, half_width = shape
            lines.append(f'<line x1="{n(x1)}" y1="{n(y1)}" x2="{n(x2)}" y2="{n(y2)}" '
                         f'stroke="{colour}" stroke-width="{n(2 * half_width)}" '
                         'stroke-linecap="round"/>')
        else:
            points = " ".join(f"{n(x)},{n(y)}" for x, y in shape[1])
            lines.append(f'<polygon points="{points}" fill="{colour}"/>')
    lines.append("</svg>")
    return ("\n".join(lines) + "\n").encode()


def main():
    args = sys.argv[1:]
    if args[:1] == ["--png"] and len(args) == 3:
        data, out = png(int(args[1])), args[2]
    elif args[:1] == ["--svg"] and len(args) == 2:
        data, out = svg(), args[1]
    elif len(args) <= 1 and not (args and args[0].startswith("-")):
        data = ico()
        out = args[0] if args else os.path.join(
            os.path.dirname(os.path.abspath(__file__)), "..", "platform", "win32", "prekidnik.ico")
    else:
        sys.exit(__doc__.split("\n\n", 1)[1])
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
