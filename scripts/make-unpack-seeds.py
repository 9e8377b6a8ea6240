#!/usr/bin/env python3
"""Writes the seeds of fuzz/UnpackArchiveFuzz.cpp into fuzz/seeds/unpack/.

Each seed is one byte choosing the form (0: a whole archive file; 1: a plain
body that the target scrambles and checksums; 2 and 3: an installer of such
a body behind a PE32 or PE32+ header, whose security directory the next 9
bytes give: offset from where the table would start, size, padding)
followed by that form. Members
hold hand-built streams of binary literals or streams from the independent
encoder's fixtures in tests/data/dcl. Run from the repository root.
"""
import os
import struct
import sys
import zlib

FIXTURES = os.path.join(os.path.dirname(__file__), "..", "tests", "data", "dcl")
OUT = os.path.join(os.path.dirname(__file__), "..", "fuzz", "seeds", "unpack")
WHEN = (24 << 25) | (6 << 21) | (15 << 16) | (10 << 11) | (20 << 5) | 15  # 2004-06-15 10:20:30


def literal_stream(plain, dict_bits=6):
    """Binary literals only, then the end marker (1, 0000000, 11111111)."""
    bits = []
    for b in plain:
        bits.append(0)
        bits.extend((b >> i) & 1 for i in range(8))
    bits.extend([1, 0, 0, 0, 0, 0, 0, 0] + [1] * 8)
    out = bytearray([0, dict_bits])
    for i in range(0, len(bits), 8):
        out.append(sum(bit << j for j, bit in enumerate(bits[i:i + 8])))
    return bytes(out)


def crc_register(data):
    """The format's CRC: started at 0xFFFFFFFF, no final inversion."""
    return ~zlib.crc32(data) & 0xFFFFFFFF


def member(name, plain, packed, attributes=0):
    name = name.encode("latin-1")
    header = struct.pack("<IIIII", WHEN, len(plain), attributes, len(packed), crc_register(plain))
    return struct.pack("<H", len(name)) + name + header + packed


def scramble(body, key=b""):
    state = 0
    for i in range(1, len(key) % 65536 + 1):
        state = (state + (key[i - 1] << (8 * (i % 4)))) & 0xFFFFFFFF
    out = bytearray(body)
    for k in range(len(out)):
        state = (state * 134775813 + 1) & 0xFFFFFFFF
        out[k] ^= state >> 24
    return bytes(out)


def archive(body):
    return scramble(body) + struct.pack("<I", crc_register(body))


def fixture(name):
    with open(os.path.join(FIXTURES, name), "rb") as f:
        return f.read()


def main():
    os.makedirs(OUT, exist_ok=True)
    small = (member("readme.txt", b"hello", literal_stream(b"hello"))
             + member("a\\b\\c.txt", b"nested", literal_stream(b"nested", 4), 1)
             + member("empty.dat", b"", fixture("empty.binary.4096.dcl"), 2))
    fixtures = (member("byte1", fixture("byte1.plain"), fixture("byte1.ascii.2048.dcl"))
                + member("d\\bytes2", fixture("bytes2.plain"), fixture("bytes2.binary.1024.dcl"))
                + member("d\\aiai", fixture("aiai.plain"), fixture("aiai.ascii.4096.dcl")))
    seeds = {
        "empty-archive": b"\0" + b"\xff\xff\xff\xff",
        "small-archive": b"\0" + archive(small),
        "small-body": b"\1" + small,
        "fixtures-body": b"\1" + fixtures,
        "seq256-body": b"\1" + member("seq256", fixture("seq256.plain"),
                                      fixture("seq256.ascii.1024.dcl")),
        "rep100k-body": b"\1" + member("rep", fixture("rep100k.plain"),
                                       fixture("rep100k.binary.4096.dcl")),
    }
    # Installers: signed as a signing tool leaves them (padding 0 and 5), a
    # table that starts inside the archive, one past the end, one of size 0.
    def installer(kind, delta, size, padding, body=small):
        return bytes([kind]) + struct.pack("<iIB", delta, size, padding) + body
    seeds.update({
        "installer-pe32-signed": installer(2, 0, 1024, 0),
        "installer-pe32plus-padded": installer(3, 0, 512, 5),
        "installer-table-inside": installer(2, -40, 1024, 0),
        "installer-table-past-end": installer(3, 16, 1024, 3),
        "installer-table-empty": installer(2, 0, 0, 0),
    })
    for name, data in seeds.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
