#!/usr/bin/env python3
"""Writes the fuzz targets' starting inputs into the given folder: deflate
streams made by zlib (every block kind, several levels), a few hand-made ones,
and encrypted-member inputs in the layout decrypt_fuzz.cpp reads."""
import os
import random
import struct
import sys
import zlib


def raw_deflate(data, level, strategy=zlib.Z_DEFAULT_STRATEGY):
    c = zlib.compressobj(level, zlib.DEFLATED, -15, 8, strategy)
    return c.compress(data) + c.flush()


def main():
    out = sys.argv[1]
    rnd = random.Random(1)
    text = b" ".join(rnd.choice([b"le", b"fichier", b"archive", b"de", b"window", b"code"])
                     for _ in range(3000))
    samples = [b"", b"a", text, bytes(rnd.getrandbits(8) for _ in range(2000)),
               b"ab" * 700 + b"\0" * 600]
    inflate = os.path.join(out, "inflate")
    decrypt = os.path.join(out, "decrypt")
    os.makedirs(inflate, exist_ok=True)
    os.makedirs(decrypt, exist_ok=True)
    seeds = []
    for i, s in enumerate(samples):
        for level, strategy in [(0, 0), (1, 0), (6, 0), (9, 0), (6, zlib.Z_FIXED),
                                (6, zlib.Z_HUFFMAN_ONLY), (6, zlib.Z_RLE)]:
            seeds.append(raw_deflate(s, level, strategy))
    seeds += [b"\x03\x00", b"\x01\x00\x00\xff\xff", b"\x00\x03\x00\xfc\xffabc\x03\x00"]
    for n, seed in enumerate(seeds):
        with open(os.path.join(inflate, "seed%03d" % n), "wb") as f:
            f.write(seed)
    for n, seed in enumerate(seeds[::4]):
        password = b"secret%d" % n
        layout = bytes([n % 4, len(password)]) + password + bytes(range(12)) + \
            struct.pack("<II", 0x12345678 * n & 0xFFFFFFFF, 0x5A8C6000 + n) + seed
        with open(os.path.join(decrypt, "seed%03d" % n), "wb") as f:
            f.write(layout)


if __name__ == "__main__":
    main()
