#!/usr/bin/env python3
"""Draws the sample programs' icons (32x32 and 16x16, 32-bit with alpha) and
writes them as .ico files: quorvath.ico (a white Q on a blue tile) and
tolvane.ico (a globe). Run it from this folder after changing a drawing;
the .ico files are committed so that the build needs no Python."""
import math
import struct


def quorvath(x, y, n):
    c = (n - 1) / 2
    r = math.hypot(x - c, y - c)
    edge = n * 0.47
    if max(abs(x - c), abs(y - c)) > edge:
        return None
    ring = n * 0.30
    width = n * 0.09
    tail = abs((x - c) - (y - c)) < width * 1.2 and x > c + n * 0.08 and x < c + n * 0.42
    if abs(r - ring) < width or tail:
        return (255, 255, 255, 255)
    return (40, 70, 180, 255)


def tolvane(x, y, n):
    c = (n - 1) / 2
    r = math.hypot(x - c, y - c)
    radius = n * 0.46
    if r > radius:
        return None
    line = max(1.0, n / 16) * 0.6
    dx, dy = x - c, y - c
    meridian = abs(dx) < line or abs(abs(dx) - radius * 0.55 * math.sqrt(max(0.0, 1 - (dy / radius) ** 2))) < line
    parallel = abs(dy) < line or abs(abs(dy) - radius * 0.5) < line
    if r > radius - line * 1.5 or meridian or parallel:
        return (20, 90, 40, 255)
    return (120, 200, 150, 255)


def image(draw, n):
    # BITMAPINFOHEADER with doubled height (colour plus AND mask), rows bottom up.
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    mask = bytearray()
    row_bytes = ((n + 31) // 32) * 4
    for y in reversed(range(n)):
        row = bytearray(row_bytes)
        for x in range(n):
            p = draw(x, y, n)
            if p is None:
                pixels += bytes(4)
                row[x // 8] |= 0x80 >> (x % 8)
            else:
                r, g, b, a = p
                pixels += bytes((b, g, r, a))
        mask += row
    return header + bytes(pixels) + bytes(mask)


def write_icon(path, draw):
    images = [image(draw, n) for n in (32, 16)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip((32, 16), images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


write_icon("quorvath.ico", quorvath)
write_icon("tolvane.ico", tolvane)
