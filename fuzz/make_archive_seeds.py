#!/usr/bin/env python3
"""Starting inputs of archive_fuzz: what follows the stub image in real
self-extracting files (configuration block, then archives written by Python's
zipfile with every feature the walk meets)."""
import io
import os
import struct
import sys
import zipfile


def block(flags, caption=b"", destination=b"", command=b"", message=b""):
    texts = [caption, destination, command, message]
    body = b"".join(bytes([len(t)]) + t for t in texts)
    return b"MPV" + bytes([flags]) + b"\x00\x01" + struct.pack("<H", 8 + len(body)) + body


def archive(members, method=zipfile.ZIP_DEFLATED, comment=b""):
    data = io.BytesIO()
    with zipfile.ZipFile(data, "w", method) as z:
        for name, content in members:
            z.writestr(name, content)
        z.comment = comment
    return data.getvalue()


def main():
    out = os.path.join(sys.argv[1], "archive")
    os.makedirs(out, exist_ok=True)
    members = [("dir/", b""), ("dir/a.txt", b"alpha " * 200), ("b.bin", bytes(range(256)) * 4),
               ("empty", b""), ("dir/a.txt", b"again")]
    seeds = [
        block(0x03) + archive(members),
        block(0x03, b"Titre", b"><", b"><b.bin|x", b"\x01Bonjour") + archive(members, zipfile.ZIP_STORED),
        block(0x7F, b"", b"HKCU\\S\\V|x") + archive(members[:2], comment=b"c" * 40),
        block(0x20) + archive([("x", b"y" * 5000)]) + b"tail",
        block(0x40, b"", b"", b"", b"\x02?") + archive([("../up.txt", b"u"), ("ok", b"o")]),
    ]
    for n, seed in enumerate(seeds):
        with open(os.path.join(out, "seed%02d" % n), "wb") as f:
            f.write(seed)


if __name__ == "__main__":
    main()
