#!/usr/bin/env python3
"""Writes the binary resources of the program: the tray icon (16x16 and 32x32,
32-bit with alpha) and the header bitmap (300x153, 24 bpp). Pure Python, no
imaging library: the BMP and ICO bytes are written directly.

Usage: make-resources.py <output folder>
"""
import math
import os
import struct
import sys

# Brand colours (RGB). None of them is one of the greys that LR_LOADMAP3DCOLORS
# replaces (128,128,128 / 192,192,192 / 223,223,223).
DEEP_BLUE = (22, 52, 128)
BRIGHT_BLUE = (24, 132, 200)
ACCENT = (64, 190, 230)
PALE_BLUE = (226, 238, 250)
WHITE = (255, 255, 255)
INKS = [(0, 168, 228), (222, 16, 132), (250, 208, 20), (40, 36, 38)]


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def coverage(inside, x, y, samples=4):
    """Share of the pixel (x, y) covered by the shape, by supersampling."""
    hits = 0
    for sy in range(samples):
        for sx in range(samples):
            if inside(x + (sx + 0.5) / samples, y + (sy + 0.5) / samples):
                hits += 1
    return hits / (samples * samples)


def q_mark(cx, cy, radius):
    """A ring with a short tail to the lower right: the product mark."""
    outer, inner, half_width = radius, radius * 0.62, radius * 0.19
    ax, ay = cx + radius * 0.30, cy + radius * 0.30
    bx, by = cx + radius * 0.98, cy + radius * 0.98

    def inside(px, py):
        d = math.hypot(px - cx, py - cy)
        if inner <= d <= outer:
            return True
        vx, vy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((px - ax) * vx + (py - ay) * vy) / (vx * vx + vy * vy)))
        return math.hypot(px - (ax + vx * t), py - (ay + vy * t)) <= half_width

    return inside


def disc(cx, cy, radius):
    return lambda px, py: math.hypot(px - cx, py - cy) <= radius


def header_pixels(width=300, height=153):
    rows = []
    dots_y = 121
    dot_shapes = [disc(width / 2 + (i - 1.5) * 24, dots_y, 7.5) for i in range(len(INKS))]
    for y in range(height):
        row = []
        for x in range(width):
            if y < 20:
                colour = mix(DEEP_BLUE, BRIGHT_BLUE, x / (width - 1))
            elif y < 22:
                colour = ACCENT
            elif y < 98:
                colour = WHITE
            elif y < 142:
                colour = mix(WHITE, PALE_BLUE, (y - 98) / 43)
            elif y < 144:
                colour = ACCENT
            else:
                colour = mix(BRIGHT_BLUE, DEEP_BLUE, x / (width - 1))
            if 110 <= y < 133:
                for shape, ink in zip(dot_shapes, INKS):
                    c = coverage(shape, x, y)
                    if c:
                        colour = mix(colour, ink, c)
            row.append(colour)
        rows.append(row)
    # The mark, white on the top band.
    mark = q_mark(14, 10, 7)
    for y in range(0, 20):
        for x in range(4, 26):
            c = coverage(mark, x, y)
            if c:
                rows[y][x] = mix(rows[y][x], WHITE, c)
    return rows


def bmp_bytes(rows):
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        pixels += line
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def icon_image(size):
    """BITMAPINFOHEADER + BGRA pixels + AND mask for one icon size."""
    corner = size * 0.22
    lo, hi = 0.5, size - 0.5

    def square(px, py):
        qx = min(max(px, lo + corner), hi - corner)
        qy = min(max(py, lo + corner), hi - corner)
        return math.hypot(px - qx, py - qy) <= corner

    mark = q_mark(size * 0.47, size * 0.47, size * 0.33)
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            a = coverage(square, x, y)
            colour = mix(BRIGHT_BLUE, DEEP_BLUE, (x + y) / (2 * size - 2))
            m = coverage(mark, x, y)
            colour = mix(colour, WHITE, m)
            row.append((colour, int(round(a * 255))))
        rows.append(row)
    xor = bytearray()
    for row in reversed(rows):
        for (r, g, b), a in row:
            xor += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def ico_bytes(sizes):
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def write_if_changed(path, data):
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except OSError:
        pass
    with open(path, "wb") as f:
        f.write(data)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_if_changed(os.path.join(out, "statusmonitor.ico"), ico_bytes([16, 32]))
    write_if_changed(os.path.join(out, "header.bmp"), bmp_bytes(header_pixels()))


if __name__ == "__main__":
    main()
