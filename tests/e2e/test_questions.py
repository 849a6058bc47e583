"""The two questions a run may ask: whether to replace an existing file
("FileExist", with "Ne &pas redemander"), and the password of encrypted
members ("PASSWD")."""

import harness
from harness import (ALL_DONE_TEXT, ALWAYS, CLOSE, CONFIRM, DESTINATION, DONE_CAPTION, EXTRACT,
                     IDCANCEL, IDOK, MEMBERS, NEVER, OVERWRITE_LABEL, build_sfx, make_zip, run,
                     tree, windows_path)

EXISTS_TITLE = "Confirmer re-écriture de..."
EXISTS_SUFFIX = "...existe déjà, remplacer ?"
EXISTS_TEXT, DONT_ASK = 101, 401
YES, NO = IDOK, IDCANCEL

PASSWORD_TITLE = "Mot de passe..."
PASSWORD_EDIT = 101
ES_PASSWORD = 0x20


class Questions(harness.WineTestCase):

    def start(self, program, destination):
        self.driver.start(program)
        dialog = self.driver.wait_window()
        self.driver.send("set-text", DESTINATION, windows_path(destination))
        return dialog

    def assertDone(self, dialog=None):
        """The run ends with the done message and the program with it; the
        main dialog's controls (when given) are returned as they were then."""
        box = self.driver.wait_box()
        self.assertBox(box, ALL_DONE_TEXT, DONE_CAPTION, [IDOK])
        controls = None
        if dialog:
            self.driver.use(dialog)
            controls = self.driver.controls()
            self.driver.use(box)
        self.driver.answer_box(IDOK)
        self.assertEndsAlone()
        return controls

    def test_overwrite_question(self):
        """Each existing file is asked about by name, unless "Ne &pas
        redemander" made the answer the rule: then the main dialog's buttons
        show the new rule and no later file is asked about. Without the
        buttons (--hide-overwrite) the configured rule applies, and the
        question, when asked, works the same."""
        names = ["a.txt", "b.txt", "c.txt"]
        files = {name: "nouveau " + name for name in names}
        new, old = "nouveau", "ancien"
        radios = [ALWAYS, NEVER, CONFIRM]
        cases = [
            # options, answers (button, don't ask again), contents at the end,
            # radio buttons checked after the run (None: removed)
            ([], [(YES, False), (NO, False), (YES, False)], [new, old, new], [CONFIRM]),
            ([], [(YES, True)], [new, new, new], [ALWAYS]),
            ([], [(NO, False), (NO, True)], [old, old, old], [NEVER]),
            (["--overwrite", "always"], [], [new, new, new], [ALWAYS]),
            (["--hide-overwrite", "--overwrite", "never"], [], [old, old, old], None),
            (["--hide-overwrite", "--overwrite", "always"], [], [new, new, new], None),
            (["--hide-overwrite"], [(NO, False), (YES, True)], [old, new, new], None),
        ]
        archive = make_zip(self.work, files, in_order=True)
        for number, (options, answers, contents, checked) in enumerate(cases):
            with self.subTest(options=options, answers=answers):
                destination = self.work / f"dest{number}"
                destination.mkdir()
                for name in names:
                    (destination / name).write_text("ancien " + name)
                program = build_sfx(archive, self.work / "setup.exe", *options)
                dialog = self.start(program, destination)
                controls = self.driver.controls()
                present = [i for i in radios + [OVERWRITE_LABEL] if i in controls]
                self.assertEqual(len(present), 0 if checked is None else 4)
                self.driver.send("click", EXTRACT)
                for name, (button, dont_ask) in zip(names, answers):
                    question = self.driver.wait_window(EXISTS_TITLE)
                    text = self.driver.controls()[EXISTS_TEXT]["text"]
                    self.assertEqual(text, name + EXISTS_SUFFIX)
                    if number == 0 and name == "a.txt":
                        self.screenshot("file-exist", question)
                    if dont_ask:
                        self.driver.send("check", DONT_ASK, 1)
                    self.driver.send("click", button)
                    self.driver.send("wait-gone")
                controls = self.assertDone(dialog)
                self.assertEqual([(destination / n).read_text().split()[0] for n in names],
                                 contents)
                if checked is not None:
                    self.assertEqual([i for i in radios if controls[i]["checked"]], checked)

    def encrypted_program(self, parts, password):
        """A self-extracting file whose archive is made in parts, in order:
        (files, encrypted) with Info-ZIP's traditional encryption and the
        password as bytes (the program takes typed text in Windows-1252)."""
        archive = self.work / "payload.zip"
        archive.unlink(missing_ok=True)
        content = self.work / "content"
        for files, encrypted in parts:
            for name, data in files.items():
                (content / name).parent.mkdir(parents=True, exist_ok=True)
                (content / name).write_text(data)
            secret = ["-P", password] if encrypted else []
            run(["zip", "-q", *secret, archive, *files], cwd=content)
        return build_sfx(archive, self.work / "setup.exe")

    def answer_password(self, typed):
        """Waits for the password question and answers it; returns it."""
        question = self.driver.wait_window(PASSWORD_TITLE)
        if typed:
            self.driver.send("type", PASSWORD_EDIT, typed)
        self.driver.send("click", IDOK)
        self.driver.send("wait-gone")
        return question

    def test_folder_entry_that_exists(self):
        """A folder entry ("sous/") whose folder exists is done without a
        question: the existence test searches for "sous\\" itself, which
        finds nothing, and the folder that is then "made" is there. Its file
        is asked about as usual."""
        files = {"sous/fichier.txt": "dedans"}
        program = build_sfx(make_zip(self.work, files), self.work / "setup.exe")
        destination = self.work / "dest"
        (destination / "sous").mkdir(parents=True)
        (destination / "sous" / "fichier.txt").write_text("ancien")
        self.start(program, destination)
        self.driver.send("click", EXTRACT)
        self.driver.wait_window(EXISTS_TITLE)
        self.assertEqual(self.driver.controls()[EXISTS_TEXT]["text"], "fichier.txt" + EXISTS_SUFFIX)
        self.driver.send("click", YES)
        self.driver.send("wait-gone")
        self.assertDone()
        self.assertEqual(tree(destination), files)

    def test_password_asked_once(self):
        """Two members encrypted with one password: the question comes once,
        masks what is typed, and stays open through Escape; the password
        typed opens both. A password with an accent is taken in
        Windows-1252, as the archive's maker on Windows typed it; one typed
        longer than 79 characters is cut there."""
        files = {"un.txt": "premier secret", "deux/trois.txt": "second secret"}
        long = "0123456789" * 8
        cases = [
            # the archive's password, typed
            ("secret", "secret"),
            ("sésame", "sésame"),
            (long[:79], long + "de trop"),
        ]
        for number, (password, typed) in enumerate(cases):
            with self.subTest(password=password):
                program = self.encrypted_program([(files, True)], password.encode("cp1252"))
                destination = self.work / f"dest{number}"
                self.start(program, destination)
                self.driver.send("click", EXTRACT)
                question = self.driver.wait_window(PASSWORD_TITLE)
                edit = self.driver.controls()[PASSWORD_EDIT]
                self.assertTrue(int(edit["style"], 16) & ES_PASSWORD)
                self.driver.send("key", "escape", PASSWORD_EDIT)
                self.driver.send("key", "escape")
                stayed = self.driver.send("wait-gone", 1, check=False)
                self.assertFalse(stayed["ok"])
                self.screenshot("password", question)
                self.driver.send("type", PASSWORD_EDIT, typed)
                self.driver.send("click", IDOK)
                self.driver.send("wait-gone")
                self.assertDone()
                self.assertEqual(tree(destination), files)

    def test_three_wrong_passwords(self):
        """Three wrong answers (an empty one counts as wrong) end the run at
        that member without any message: what came before is extracted, the
        member and those behind it stay selected and unwritten. The next
        "&Extraire" asks again and, with the right password, finishes."""
        before, secret, after = {"avant.txt": "avant"}, {"secret.txt": "caché"}, \
            {"apres.txt": "après"}
        program = self.encrypted_program([(before, False), (secret, True), (after, False)],
                                         b"juste")
        destination = self.work / "dest"
        dialog = self.start(program, destination)
        self.driver.send("click", EXTRACT)
        for typed in ["faux", "", "Juste"]:
            self.answer_password(typed)
        self.driver.send("sleep", 1)
        self.assertEqual(self.driver.send("count-windows")["count"], 1)
        self.driver.use(dialog)
        controls = self.driver.controls_when(lambda c: c[EXTRACT]["enabled"])
        self.assertEqual([i["text"] for i in controls[MEMBERS]["items"] if i["selected"]],
                         ["apres.txt", "secret.txt"])
        self.assertTrue(controls[EXTRACT]["enabled"])
        self.assertEqual(tree(destination), before)
        self.driver.send("click", EXTRACT)
        self.answer_password("juste")
        self.assertDone()
        self.assertEqual(tree(destination), {**before, **secret, **after})

    def test_question_in_automatic_mode(self):
        """The automatic mode asks too; "Ne &pas redemander" then still sets
        the rule for the rest of the run (the main dialog is not there yet
        to show it)."""
        files = {"a.txt": "nouveau a", "b.txt": "nouveau b"}
        destination = self.work / "dest"
        destination.mkdir()
        for name in files:
            (destination / name).write_text("ancien")
        archive = make_zip(self.work, files, in_order=True)
        program = build_sfx(archive, self.work / "!auto.exe", "--auto", "--dest",
                            windows_path(destination))
        self.driver.start(program)
        self.driver.wait_window(EXISTS_TITLE)
        self.driver.send("check", DONT_ASK, 1)
        self.driver.send("click", YES)
        ended = self.driver.wait_exit()
        self.assertEqual(ended["exit"], 0)
        self.assertNotIn(f'#32770 "{EXISTS_TITLE}"', ended["seen"])
        self.assertEqual(tree(destination), files)


if __name__ == "__main__":
    harness.main()
