#!/usr/bin/env python3
"""Draws the installer's main icon, src/resources/icons/MAINICON.ico.

A golden "Q" ring with its tail over a dark-blue disc, the backdrop's colour,
at 32x32 and 16x16 in 32-bit colour with alpha (and the 1-bit mask that old
systems read). Pixels are 4x4 supersampled for smooth edges.
Run: scripts/make-mainicon.py [OUT.ico]
"""
import math
import struct
import sys

NAVY = (0, 0, 128)
GOLD = (240, 190, 40)
RIM = (150, 170, 230)


def sample(x, y):
    """Colour and coverage of one point of the unit square (0..1)."""
    cx, cy = x - 0.5, y - 0.5
    r = math.hypot(cx, cy)
    if r > 0.5:
        return None
    # Tail of the Q: a thick stroke from the ring towards the lower right.
    tx, ty = cx - 0.08, cy - 0.08
    along = (tx + ty) / math.sqrt(2)
    across = abs(tx - ty) / math.sqrt(2)
    if 0.0 < along < 0.30 and across < 0.055:
        return GOLD
    if 0.22 < r < 0.33:
        return GOLD
    if r > 0.46:
        return RIM
    return NAVY


def render(size, supersample=4):
    """Rows of (b, g, r, a) from the bottom row up, as an icon stores them."""
    rows = []
    for py in range(size - 1, -1, -1):
        row = []
        for px in range(size):
            acc = [0, 0, 0]
            hits = 0
            for sy in range(supersample):
                for sx in range(supersample):
                    c = sample((px + (sx + 0.5) / supersample) / size,
                               (py + (sy + 0.5) / supersample) / size)
                    if c:
                        hits += 1
                        for i in range(3):
                            acc[i] += c[i]
            if hits:
                r, g, b = (a // hits for a in acc)
                alpha = 255 * hits // (supersample * supersample)
            else:
                r = g = b = alpha = 0
            row.append((b, g, r, alpha))
        rows.append(row)
    return rows


def image(size):
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(bytes(p) for row in rows for p in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in rows:
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p[3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + xor + bytes(mask)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "src/resources/icons/MAINICON.ico"
    sizes = [32, 16]
    images = [image(s) for s in sizes]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, img in zip(sizes, images):
        data += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(out, "wb") as f:
        f.write(data + b"".join(images))


if __name__ == "__main__":
    main()
