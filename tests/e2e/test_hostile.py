"""Hostile archives in the real program: member names that reach outside the
destination or name devices are not written, the others are, and the run
says that some files could not be extracted."""

import io
import struct
import zipfile
from pathlib import Path

import harness
from harness import ERROR_CAPTION, IDOK, PREFIX

FAILED_TEXT = "Le(s) fichier(s) sélectionné(s) n'ont pu être extraits."
FLAG_MEMBER_CHOICE, FLAG_AUTO = 0x02, 0x40


def block(flags, destination):
    """A configuration block: no caption, the destination, no command, no message."""
    texts = [b"", destination.encode("cp1252"), b"", b""]
    body = b"".join(bytes([len(t)]) + t for t in texts)
    return b"MPV" + bytes([flags]) + b"\x00\x01" + struct.pack("<H", 8 + len(body)) + body


def zip_of(members):
    data = io.BytesIO()
    with zipfile.ZipFile(data, "w", zipfile.ZIP_DEFLATED) as z:
        for name, content in members:
            info = zipfile.ZipInfo("placeholder")
            info.filename = name   # as given: zipfile would clean it up otherwise
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, content)
    return data.getvalue()


class HostileNames(harness.WineTestCase):

    def test_names_outside_the_destination_and_devices(self):
        destination = self.work / "dest"
        destination.mkdir()
        hostile = ["../escape-parent.txt", "..\\escape-back.txt", "sub/../../escape-deep.txt",
                   "/escape-root.txt", "C:/escape-drive.txt", "C:escape-relative.txt",
                   "CON", "sub/NUL.txt", "COM1.log", "... /x.txt"]
        members = [("good.txt", "bon")] + [(name, "mauvais") for name in hostile]
        # The stub never reads the central directory, so the archive goes
        # behind the block as it is; its end record still ends the file.
        program = self.work / "!hostile.exe"
        program.write_bytes(harness.STUB.read_bytes() +
                            block(FLAG_MEMBER_CHOICE | FLAG_AUTO, harness.windows_path(destination)) +
                            zip_of(members))
        self.driver.start(program)
        box = self.driver.wait_box(30)
        self.assertBox(box, FAILED_TEXT, ERROR_CAPTION, [IDOK])
        self.driver.answer_box(IDOK)
        self.assertEqual(self.driver.wait_exit(30)["exit"], 0)

        written = sorted(str(p.relative_to(destination)) for p in destination.rglob("*"))
        self.assertEqual(written, ["good.txt"])
        self.assertEqual((destination / "good.txt").read_text(), "bon")
        escaped = [p for p in [*self.work.rglob("escape-*"), *Path("/").glob("escape-*"),
                               *(PREFIX / "drive_c").glob("escape-*"),
                               *(PREFIX / "drive_c").glob("*/escape-*")]]
        self.assertEqual(escaped, [])


if __name__ == "__main__":
    harness.main()
