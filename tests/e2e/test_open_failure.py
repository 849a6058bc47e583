"""A program that cannot open its own file: one box with its path, nothing more."""

import harness
from harness import IDOK, READ_ERROR_CAPTION


class OpenFailure(harness.WineTestCase):

    def test_file_gone_before_start(self):
        """The driver starts the program suspended, its file is moved away, and
        the program then shows exactly one box: its path as text, the read error
        as caption. It opens no dialog and ends with code 0."""
        for name in ["setup.exe", "Démo été à Noël.exe"]:
            with self.subTest(name):
                program = self.sfx(name=name)
                self.driver.start(program, suspended=True)
                program.rename(program.with_name("moved.exe"))
                self.driver.send("resume")
                box = self.driver.wait_box()
                self.assertBox(box, harness.windows_path(program), READ_ERROR_CAPTION, [IDOK])
                self.assertEqual(self.driver.send("count-windows")["count"], 1)
                self.screenshot("open-failure", box)
                self.driver.answer_box(IDOK)
                self.assertEndsAlone()


if __name__ == "__main__":
    harness.main()
