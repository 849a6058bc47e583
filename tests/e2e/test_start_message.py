"""The start message and the caption: what the box offers, and whether the
main dialog follows."""

import harness
from harness import DEFAULT_CAPTION, IDCANCEL, IDNO, IDOK, IDYES

MESSAGE = "Prêt à installer « Démo » ?"


class StartMessage(harness.WineTestCase):

    def test_answers(self):
        """Cancel and No end the program before any dialog; OK and Yes go on to
        the main dialog, which carries the configured caption ("Quillex" when
        none is given), and "&Fermer" then ends the program with code 0."""
        cases = [
            # message type, caption, buttons offered, answer, dialog follows
            ("okcancel", "Démo d'été", [IDOK, IDCANCEL], IDCANCEL, False),
            ("yesno", "Démo d'été", [IDYES, IDNO], IDNO, False),
            ("okcancel", "", [IDOK, IDCANCEL], IDOK, True),
            ("yesno", "Démo d'été", [IDYES, IDNO], IDYES, True),
            ("ok", "", [IDOK], IDOK, True),
            ("ok", "Démo d'été", [IDOK], IDOK, True),
        ]
        for kind, caption, buttons, answer, dialog_follows in cases:
            with self.subTest(kind=kind, caption=caption, answer=answer):
                program = self.sfx("--caption", caption, "--message", MESSAGE,
                                   "--message-type", kind)
                self.driver.start(program)
                shown_caption = caption or DEFAULT_CAPTION
                box = self.driver.wait_box()
                self.assertBox(box, MESSAGE, shown_caption, buttons)
                self.screenshot(f"start-message-{kind}", box)
                self.driver.answer_box(answer)
                if not dialog_follows:
                    self.assertEndsAlone()
                    continue
                dialog = self.driver.wait_window()
                self.assertEqual(dialog["caption"], shown_caption)
                self.assertEqual(self.driver.send("count-windows")["count"], 1)
                self.driver.send("click", IDCANCEL)
                self.assertEqual(self.driver.wait_exit()["exit"], 0)

    def test_prefix_byte(self):
        """A message whose first byte is below 7 loses it; from 7 on it stays,
        and both show a plain OK box."""
        for first, text in [(5, "Bonjour"), (7, "\aBonjour")]:
            with self.subTest(first=first):
                program = self.sfx("--message", "XBonjour")
                data = program.read_bytes()
                at = data.index(b"XBonjour", 40448)
                program.write_bytes(data[:at] + bytes([first]) + data[at + 1:])
                self.driver.start(program)
                box = self.driver.wait_box()
                self.assertBox(box, text, DEFAULT_CAPTION, [IDOK])
                self.driver.answer_box(IDOK)
                self.driver.wait_window()
                self.driver.send("click", IDCANCEL)
                self.assertEqual(self.driver.wait_exit()["exit"], 0)

    def test_dialog_without_message(self):
        """Without a start message the dialog opens at once, with its caption."""
        for caption in ["", "Démo d'été", "x" * 255]:
            with self.subTest(caption=caption[:20]):
                self.driver.start(self.sfx("--caption", caption))
                dialog = self.driver.wait_window()
                self.assertEqual(dialog["caption"], caption or DEFAULT_CAPTION)
                self.screenshot("main-dialog-caption", dialog)
                self.driver.send("click", IDCANCEL)
                self.assertEqual(self.driver.wait_exit()["exit"], 0)


if __name__ == "__main__":
    harness.main()
