#!/usr/bin/env python3
"""Draws the configuration tool's images (PNG, and the window icon as a
BMP-based ICO) from simple shapes; run from this folder to refresh them."""
import math
import os
import struct
import zlib

SUPERSAMPLE = 4


def render(size, shapes):
    """RGBA rows; `shapes` is a list of (inside(x, y), rgba) drawn in order,
    with x and y in 0..1."""
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    x = (px + (sx + 0.5) / SUPERSAMPLE) / size
                    y = (py + (sy + 0.5) / SUPERSAMPLE) / size
                    colour = (0, 0, 0, 0)
                    for inside, rgba in shapes:
                        if inside(x, y):
                            colour = rgba
                    alpha = colour[3] / 255.0
                    for i in range(3):
                        acc[i] += colour[i] * alpha
                    acc[3] += alpha
            n = SUPERSAMPLE * SUPERSAMPLE
            a = acc[3] / n
            rgb = [int(round(acc[i] / acc[3])) if acc[3] else 0 for i in range(3)]
            row.append((rgb[0], rgb[1], rgb[2], int(round(a * 255))))
        pixels.append(row)
    return pixels


def png(pixels):
    size = len(pixels)
    raw = b"".join(b"\x00" + bytes(c for p in row for c in p) for row in pixels)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(pixels):
    """One 32-bit BMP image with its AND mask (bottom-up rows)."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(pixels) for p in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b"".join(
        bytes(sum((0x80 >> (x % 8)) for x in range(byte * 8, byte * 8 + 8)
                  if x < size and row[x][3] == 0) for byte in range(mask_row))
        for row in reversed(pixels))
    image = header + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack(
        "<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + image


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r_in, r_out, gap_from=None, gap_to=None):
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        if not r_in <= d <= r_out:
            return False
        if gap_from is None:
            return True
        angle = math.degrees(math.atan2(cy - y, x - cx)) % 360
        return not gap_from <= angle <= gap_to
    return inside


def polygon(points):
    def inside(x, y):
        hit = False
        for (x1, y1), (x2, y2) in zip(points, points[1:] + points[:1]):
            if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
                hit = not hit
        return hit
    return inside


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def rounded(x0, y0, x1, y1, r):
    def inside(x, y):
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


GREEN = (40, 160, 60, 255)
DARK = (60, 60, 70, 255)
BLUE = (40, 90, 170, 255)
WHITE = (250, 250, 250, 255)

images = {
    "GuiResources/Icons/Arrow/Green/CycleGreen.png": [
        (ring(0.5, 0.5, 0.24, 0.38, 20, 70), GREEN),
        (polygon([(0.62, 0.08), (0.95, 0.32), (0.6, 0.45)]), GREEN)],
    "GuiResources/Icons/LED/Flat/RoundNeutralOff.png": [
        (circle(0.5, 0.5, 0.42), (120, 120, 125, 255)),
        (circle(0.5, 0.5, 0.34), (175, 175, 180, 255))],
    "GuiResources/Icons/LED/Flat/RoundGreenOn.png": [
        (circle(0.5, 0.5, 0.42), (20, 120, 40, 255)),
        (circle(0.5, 0.5, 0.34), (60, 220, 80, 255)),
        (circle(0.4, 0.38, 0.1), (200, 255, 210, 255))],
    "GuiResources/Icons/Misc/Magnifier.png": [
        (polygon([(0.55, 0.62), (0.62, 0.55), (0.95, 0.88), (0.88, 0.95)]), DARK),
        (circle(0.4, 0.4, 0.3), DARK),
        (circle(0.4, 0.4, 0.22), (200, 225, 250, 255))],
    "GuiResources/Icons/Misc/Lightning.png": [
        (polygon([(0.58, 0.04), (0.18, 0.56), (0.46, 0.56), (0.36, 0.96), (0.82, 0.4),
                  (0.54, 0.4)]), (240, 190, 30, 255))],
    "GuiResources/Icons/Misc/Import.png": [
        (rect(0.1, 0.7, 0.9, 0.9), DARK),
        (rect(0.4, 0.06, 0.6, 0.4), BLUE),
        (polygon([(0.2, 0.38), (0.8, 0.38), (0.5, 0.68)]), BLUE)],
    "GuiResources/Icons/Misc/Export.png": [
        (rect(0.1, 0.7, 0.9, 0.9), DARK),
        (rect(0.4, 0.34, 0.6, 0.66), BLUE),
        (polygon([(0.2, 0.36), (0.8, 0.36), (0.5, 0.06)]), BLUE)],
}

app_icon = [
    (rounded(0.04, 0.04, 0.96, 0.96, 0.18), BLUE),
    (rect(0.18, 0.46, 0.82, 0.54), WHITE),
    (rect(0.46, 0.18, 0.54, 0.82), WHITE),
    (ring(0.5, 0.5, 0.2, 0.27), WHITE),
]

if __name__ == "__main__":
    for path, shapes in images.items():
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(png(render(16, shapes)))
    os.makedirs("GuiResources/CorporateDesign", exist_ok=True)
    with open("GuiResources/CorporateDesign/DefaultAppIcon.ico", "wb") as out:
        out.write(ico(render(32, app_icon)))
