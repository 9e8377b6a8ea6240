#!/usr/bin/env python3
"""Draws the installer's main icon, src/resources/icons/MAINICON.ico.

A golden "Q" ring with its tail over a dark-blue disc, the backdrop's colour,
at 32x32 and 16x16 in 16 colours with the 1-bit transparency mask, which
every Windows from 98 on draws (and which keeps the installer small). Pixels
are 4x4 supersampled; the palette holds the three colours and the blends
between each two of them that the smooth edges need.
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


def blend(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


# Black (under the mask), the three colours, and three blends of each pair.
PALETTE = [(0, 0, 0), NAVY, GOLD, RIM] + [
    blend(a, b, t) for a, b in ((NAVY, GOLD), (NAVY, RIM), (GOLD, RIM)) for t in (0.25, 0.5, 0.75)
]
PALETTE += [(0, 0, 0)] * (16 - len(PALETTE))


def nearest(b, g, r):
    return min(range(len(PALETTE)),
               key=lambda i: sum((c - p) ** 2 for c, p in zip((r, g, b), PALETTE[i])))


def image(size):
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    xor = bytearray()
    for row in rows:
        indices = [nearest(*p[:3]) if p[3] >= 128 else 0 for p in row]
        packed = bytes(indices[x] << 4 | indices[x + 1] for x in range(0, size, 2))
        xor += packed + bytes(-len(packed) % 4)  # rows padded to 32 bits
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in rows:
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p[3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + palette + bytes(xor) + bytes(mask)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "src/resources/icons/MAINICON.ico"
    sizes = [32, 16]
    images = [image(s) for s in sizes]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, img in zip(sizes, images):
        data += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(img), offset)
        offset += len(img)
    with open(out, "wb") as f:
        f.write(data + b"".join(images))


if __name__ == "__main__":
    main()
