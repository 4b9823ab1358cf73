#!/usr/bin/env python3
"""Draws the padlock of the password dialog and writes it as padlock.ico.

Eight images, in the order the resource compiler numbers them (1 to 8):
128, 96, 72, 64 and 48 pixels at 32 bits per pixel, 32 pixels at 24 bits,
24 and 16 pixels at 32 bits. Standard library only, so the icon can be
remade anywhere:  python3 res/make_icons.py
"""
import math
import os
import struct

IMAGES = [(128, 32), (96, 32), (72, 32), (64, 32), (48, 32), (32, 24), (24, 32), (16, 32)]
SUPERSAMPLE = 4

OUTLINE = (58, 40, 12)
BODY_TOP, BODY_BOTTOM = (250, 208, 84), (196, 138, 22)
SHACKLE_LIGHT, SHACKLE_DARK = (214, 220, 228), (120, 128, 140)
KEYHOLE = (52, 36, 10)


def mix(a, b, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def in_rounded_rect(x, y, left, top, right, bottom, radius):
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and left <= x <= right and top <= y <= bottom


def in_shackle(x, y, grow):
    """The U-shaped bar: a half ring over two legs; `grow` widens it for the outline."""
    cx, cy, outer, inner = 0.5, 0.40, 0.28 + grow, 0.17 - grow
    if y <= cy:
        d = math.hypot(x - cx, y - cy)
        return inner <= d <= outer
    if y > 0.55:
        return False
    return cx - outer <= x <= cx - inner or cx + inner <= x <= cx + outer


def in_keyhole(x, y):
    return math.hypot(x - 0.5, y - 0.62) <= 0.07 or (abs(x - 0.5) <= 0.03 + (y - 0.62) * 0.12 and 0.62 <= y <= 0.80)


def sample(x, y):
    """Colour and coverage (0 or 1) of one point of the unit square."""
    if in_rounded_rect(x, y, 0.13, 0.44, 0.87, 0.94, 0.09):
        if in_keyhole(x, y):
            return KEYHOLE, 1.0
        if in_rounded_rect(x, y, 0.16, 0.47, 0.84, 0.91, 0.065):
            shade = mix(BODY_TOP, BODY_BOTTOM, (y - 0.47) / 0.44)
            # A soft highlight along the upper edge gives the body some volume.
            if y < 0.53:
                shade = mix(shade, (255, 240, 180), (0.53 - y) / 0.06 * 0.6)
            return shade, 1.0
        return OUTLINE, 1.0
    if in_shackle(x, y, 0.0):
        return mix(SHACKLE_LIGHT, SHACKLE_DARK, abs(x - 0.42) / 0.35), 1.0
    if in_shackle(x, y, 0.025):
        return (70, 74, 82), 1.0
    return (0, 0, 0), 0.0


def render(size):
    """Rows of (r, g, b, a) from top to bottom, anti-aliased by supersampling."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0.0
            for sy in range(n):
                for sx in range(n):
                    colour, cover = sample((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    r += colour[0] * cover
                    g += colour[1] * cover
                    b += colour[2] * cover
                    a += cover
            if a:
                row.append((round(r / a), round(g / a), round(b / a), round(255 * a / (n * n))))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def dib(size, bits):
    """An icon image: BITMAPINFOHEADER, colour rows bottom-up, AND mask."""
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    stride = (size * bits // 8 + 3) & ~3
    for row in reversed(rows):
        line = bytearray()
        for r, g, b, a in row:
            if bits == 32:
                line += bytes((b, g, r, a))
            else:
                # No alpha channel: the mask decides, edges stay opaque.
                line += bytes((b, g, r)) if a >= 128 else b"\0\0\0"
        colour += line + b"\0" * (stride - len(line))
    mask = bytearray()
    mask_stride = ((size + 31) // 32) * 4
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + colour + mask


def main():
    images = [(size, bits, dib(size, bits)) for size, bits in IMAGES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "padlock.ico")
    with open(path, "wb") as f:
        f.write(out)
    print("wrote %s (%d bytes)" % (path, len(out)))


if __name__ == "__main__":
    main()
