#!/usr/bin/env python3
"""Pads a linked stub image with zero bytes to its fixed size, or fails,
saying by how much it is too large. Usage: pad_image.py IMAGE OUTPUT SIZE"""
import sys

image, output, size = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = open(image, "rb").read()
if len(data) > size:
    sys.exit(f"{image} is {len(data)} bytes, {len(data) - size} bytes over the "
             f"{size}-byte stub image size")
open(output, "wb").write(data + bytes(size - len(data)))
print(f"{output}: {len(data)} bytes linked, padded to {size}")
