"""Files the program refuses before its dialog: a damaged configuration block
or a payload that does not end where its ZIP end record says."""

import harness
from harness import BAD_SIZE_TEXT, ERROR_CAPTION, IDOK

STUB_SIZE = 40448


def set_byte(offset, value):
    def damage(data):
        data[offset] = value
    return damage


def cut_to(size):
    def damage(data):
        del data[size:]
    return damage


def cut_end(count):
    def damage(data):
        del data[-count:]
    return damage


def append(extra):
    def damage(data):
        data.extend(extra)
    return damage


class RefusedFiles(harness.WineTestCase):

    def start_damaged(self, damage, *options):
        program = self.sfx(*options)
        data = bytearray(program.read_bytes())
        damage(data)
        program.write_bytes(data)
        self.driver.start(program)

    def test_size_message(self):
        """Each of these shows the size message alone, opens no dialog and ends
        with code 0 once the box is answered."""
        cases = [
            ("lower-case marker", set_byte(STUB_SIZE + 2, ord("v")), []),
            ("zero byte in the marker", set_byte(STUB_SIZE + 2, 0), []),
            ("stub alone", cut_to(STUB_SIZE), []),
            ("ends inside the marker", cut_to(STUB_SIZE + 2), []),
            ("ends inside the caption", cut_to(STUB_SIZE + 12), ["--caption", "Démo d'été"]),
            ("last byte missing", cut_end(1), []),
            ("one byte appended", append(b"\0"), []),
            # The size check comes before the start message, which never shows.
            ("start message of a cut file", cut_end(1),
             ["--message", "Bienvenue", "--message-type", "okcancel"]),
        ]
        for name, damage, options in cases:
            with self.subTest(name):
                self.start_damaged(damage, *options)
                box = self.driver.wait_box()
                self.assertBox(box, BAD_SIZE_TEXT, ERROR_CAPTION, [IDOK])
                self.assertEqual(self.driver.send("count-windows")["count"], 1)
                self.screenshot("size-message", box)
                self.driver.answer_box(IDOK)
                self.assertEndsAlone()

    def test_size_check_switched_off(self):
        """With the check switched off, a file with a byte appended opens its dialog."""
        self.start_damaged(append(b"\0"), "--no-size-check")
        dialog = self.driver.wait_window()
        self.assertEqual(dialog["caption"], harness.DEFAULT_CAPTION)
        self.driver.send("click", harness.IDCANCEL)
        self.assertEqual(self.driver.wait_exit()["exit"], 0)


if __name__ == "__main__":
    harness.main()
