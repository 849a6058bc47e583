#!/usr/bin/env python3
"""Turns the 32 x 32 picture in mnicon.txt (one hex digit per pixel, an index
into the 16-colour VGA palette; '.' is transparent) into a Windows .ico file."""
import struct
import sys

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def main(source, target):
    rows = [line.rstrip("\n") for line in open(source, encoding="ascii")]
    rows = [r for r in rows if r]
    if len(rows) != 32 or any(len(r) != 32 for r in rows):
        sys.exit(f"{source}: the picture must be 32 lines of 32 pixels")
    colour_bits = b""
    mask_bits = b""
    for row in reversed(rows):  # bitmaps are stored bottom-up
        pixels = [0 if c == "." else int(c, 16) for c in row]
        colour_bits += bytes((pixels[i] << 4) | pixels[i + 1] for i in range(0, 32, 2))
        mask = 0
        for c in row:
            mask = (mask << 1) | (c == ".")
        mask_bits += struct.pack(">I", mask)
    header = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 4, 0,
                         len(colour_bits) + len(mask_bits), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    image = header + palette + colour_bits + mask_bits
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack(
        "<BBBBHHII", 32, 32, 16, 0, 1, 4, len(image), 6 + 16)
    with open(target, "wb") as out:
        out.write(directory + image)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
