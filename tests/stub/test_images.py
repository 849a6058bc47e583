#!/usr/bin/env python3
"""The shipped stub images: exact size, PE format and machine, GUI subsystem,
and imports from system DLLs only (no C++ runtime, no libgcc DLL)."""
import os
import struct
import unittest

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DIST = os.environ.get("QUILLEX_DIST", os.path.join(TOP, "dist"))
STUB_SIZE = 40448
ALLOWED = {"KERNEL32.DLL", "USER32.DLL", "SHELL32.DLL", "ADVAPI32.DLL", "MSVCRT.DLL"}


class PeImage:
    def __init__(self, data):
        self.data = data
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, self.sections, _, _, _, self.optional_size, _ = struct.unpack_from(
            "<HHIIIHH", data, self.pe + 4)
        self.optional = self.pe + 24
        self.magic = struct.unpack_from("<H", data, self.optional)[0]
        self.subsystem = struct.unpack_from("<H", data, self.optional + 68)[0]
        directories = self.optional + (96 if self.magic == 0x10B else 112)
        self.import_rva = struct.unpack_from("<I", data, directories + 8)[0]

    def section_table(self):
        start = self.optional + self.optional_size
        for i in range(self.sections):
            name, vsize, rva, raw_size, raw_pointer = struct.unpack_from(
                "<8sIIII", self.data, start + 40 * i)
            yield name.rstrip(b"\0").decode(), vsize, rva, raw_size, raw_pointer

    def file_offset(self, rva):
        for _, vsize, start, raw_size, raw_pointer in self.section_table():
            if start <= rva < start + max(vsize, raw_size):
                return rva - start + raw_pointer
        raise ValueError("address outside every section")

    def end_of_sections(self):
        return max(p + s for _, _, _, s, p in self.section_table())

    def imported_dlls(self):
        dlls = []
        at = self.file_offset(self.import_rva)
        while True:
            name_rva = struct.unpack_from("<I", self.data, at + 12)[0]
            if name_rva == 0:
                return dlls
            offset = self.file_offset(name_rva)
            dlls.append(self.data[offset:self.data.index(b"\0", offset)].decode().upper())
            at += 20


class StubImages(unittest.TestCase):
    def check(self, name, machine, magic):
        with open(os.path.join(DIST, name), "rb") as f:
            data = f.read()
        self.assertEqual(len(data), STUB_SIZE)
        image = PeImage(data)
        self.assertEqual(image.machine, machine)
        self.assertEqual(image.magic, magic)
        self.assertEqual(image.subsystem, 2, "not a GUI program")
        self.assertLessEqual(image.end_of_sections(), STUB_SIZE)
        self.assertEqual(data[image.end_of_sections():].count(0), STUB_SIZE - image.end_of_sections(),
                         "the padding must be zero bytes")
        dlls = image.imported_dlls()
        self.assertTrue(set(dlls) <= ALLOWED, dlls)
        self.assertIn("KERNEL32.DLL", dlls)
        # The walk builds the local header signature at run time.
        self.assertEqual(data.find(b"PK\x03\x04"), -1, "a local header signature in the image")
        return image

    def test_stub32(self):
        self.check("stub32.exe", 0x14C, 0x10B)

    def test_stub64(self):
        self.check("stub64.exe", 0x8664, 0x20B)


if __name__ == "__main__":
    unittest.main()
