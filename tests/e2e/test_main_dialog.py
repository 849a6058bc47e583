"""The main dialog as a user meets it: the member lists and their selection,
the destination field, what a failed run leaves for a second try, the done
message, the automatic mode, the controls during a run, and "&Fermer"."""

import shutil

import harness
from harness import (ALL_DONE_TEXT, ALWAYS, BROWSE, CLOSE, CONFIRM, DESTINATION, DONE_CAPTION,
                     ERROR_CAPTION, EXTRACT, FOLDER_ERROR_TEXT, IDOK, MEMBERS, MEMBERS_SHOWN,
                     NEVER, ABOUT, SOME_FAILED_TEXT, make_zip, build_sfx, trace_text, tree,
                     windows_path)

DAMAGED = "abime.txt"
DAMAGED_DATA = "ces octets seront abîmés dans l'archive\n"
DAMAGED_WRITTEN = "C" + DAMAGED_DATA[1:]   # as damage_member leaves it


def selection(control):
    """The entries of a list box and whether each is selected."""
    return [(item["text"], item["selected"]) for item in control["items"]]


def selected(control):
    return [item["text"] for item in control["items"] if item["selected"]]


def damage_member(program, data):
    """Flips one byte of a stored member's data in a self-extracting file (the
    tool checks what it builds, so the damage comes after): the member's CRC
    no longer matches."""
    content = program.read_bytes()
    at = content.index(data.encode())
    program.write_bytes(content[:at] + bytes([content[at] ^ 0x20]) + content[at + 1:])


class MainDialog(harness.WineTestCase):

    def program(self, files, *options, name="setup.exe", damaged=False):
        """A self-extracting file whose members are stored in the given order."""
        archive = make_zip(self.work, files, zip_options=["-0"], in_order=True)
        program = build_sfx(archive, self.work / name, *options)
        if damaged:
            damage_member(program, DAMAGED_DATA)
        return program

    def start(self, program):
        self.driver.start(program)
        return self.driver.wait_window()

    def extract_to(self, destination):
        self.driver.send("set-text", DESTINATION, windows_path(destination))
        self.driver.send("click", EXTRACT)

    def answer_boxes(self, expected):
        """Each message box in turn shows (text, caption) with OK alone."""
        for text, caption in expected:
            box = self.driver.wait_box()
            self.assertBox(box, text, caption, [IDOK])
            self.driver.answer_box(IDOK)

    def test_member_lists(self):
        """The members appear sorted without regard to case whatever their
        archive order: with member choice in the multiple-selection list 301,
        all selected; without it in the display-only list 302, none selected,
        and 301 hidden (with its entries ready, all selected)."""
        files = {"zeta.txt": "z", "Alpha.txt": "a", "beta/gamma.txt": "g", "2.txt": "2",
                 "10.txt": "1"}
        names = ["10.txt", "2.txt", "Alpha.txt", "beta/gamma.txt", "zeta.txt"]
        cases = [
            # options, list shown, list hidden, selection shown
            ([], MEMBERS, MEMBERS_SHOWN, True),
            (["--no-member-choice"], MEMBERS_SHOWN, MEMBERS, False),
        ]
        for options, shown, hidden, chosen in cases:
            with self.subTest(options=options):
                dialog = self.start(self.program(files, *options))
                controls = self.driver.controls()
                self.assertTrue(controls[shown]["visible"])
                self.assertFalse(controls[hidden]["visible"])
                self.assertEqual(controls[shown]["multiple"], shown == MEMBERS)
                self.assertEqual(selection(controls[shown]), [(n, chosen) for n in names])
                self.assertEqual(selection(controls[MEMBERS]), [(n, True) for n in names])
                if not options:
                    self.screenshot("member-list", dialog)
                self.driver.send("click", CLOSE)
                self.assertEqual(self.driver.wait_exit()["exit"], 0)

    def test_display_list_gives_way_at_extraction(self):
        """Without member choice, a selection made in list 302 is ignored: at
        "&Extraire" list 301 takes its place with every member selected, and
        while the run asks its question every control a user could press is
        disabled (labels and hidden controls keep their state). All members
        but the kept one are then extracted."""
        files = {"a.txt": "nouveau a", "b.txt": "b", "c/d.txt": "d"}
        (self.work / "a.txt").write_text("ancien a")
        dialog = self.start(self.program(files, "--no-member-choice"))
        self.driver.send("select", MEMBERS_SHOWN, 1, 1)
        self.driver.send("click", EXTRACT)
        question = self.driver.wait_window("Confirmer re-écriture de...")
        self.driver.use(dialog)
        controls = self.driver.controls()
        self.assertEqual((controls[MEMBERS]["visible"], controls[MEMBERS_SHOWN]["visible"]),
                         (True, False))
        self.assertEqual(selected(controls[MEMBERS]), ["a.txt", "b.txt", "c/d.txt"])
        disabled = sorted(i for i, c in controls.items() if not c["enabled"])
        self.assertEqual(disabled, sorted([DESTINATION, BROWSE, MEMBERS, CONFIRM, NEVER, ALWAYS,
                                           ABOUT, EXTRACT, CLOSE]))
        # What the driver refuses, a user cannot do either.
        refused = self.driver.send("click", EXTRACT, check=False)
        self.assertIn("disabled", refused.get("error", ""))
        self.driver.use(question)
        self.driver.send("click", harness.IDCANCEL)   # "&Non": keep a.txt
        self.answer_boxes([(ALL_DONE_TEXT, DONE_CAPTION)])
        self.assertEndsAlone()
        self.assertEqual(tree(self.work / "c"), {"d.txt": "d"})
        self.assertEqual(((self.work / "a.txt").read_text(), (self.work / "b.txt").read_text()),
                         ("ancien a", "b"))

    def test_partial_selection(self):
        """Only the selected members are extracted. With none selected nothing
        is written, no message shows, and the dialog stays usable."""
        files = {"a.txt": "a", "b.txt": "b", "sous/c.txt": "c"}
        cases = [
            # entries deselected (list order), files expected
            ([1], {"a.txt": "a", "sous/c.txt": "c"}),
            ([0, 2], {"b.txt": "b"}),
            ([0, 1, 2], {}),
        ]
        program = self.program(files)
        for number, (deselected, expected) in enumerate(cases):
            with self.subTest(deselected=deselected):
                destination = self.work / f"dest{number}"
                self.start(program)
                for index in deselected:
                    self.driver.send("select", MEMBERS, index, 0)
                self.extract_to(destination)
                if expected:
                    self.answer_boxes([(ALL_DONE_TEXT, DONE_CAPTION)])
                    self.assertEndsAlone()
                else:
                    self.driver.send("sleep", 1)
                    self.assertEqual(self.driver.send("count-windows")["count"], 1)
                    controls = self.driver.controls()
                    self.assertTrue(controls[EXTRACT]["enabled"] and controls[MEMBERS]["enabled"])
                    self.driver.send("click", CLOSE)
                    self.assertEqual(self.driver.wait_exit()["exit"], 0)
                found = tree(destination) if destination.exists() else {}
                self.assertEqual(found, expected)

    def test_failed_run_and_second_try(self):
        """A failed run leaves exactly the failed members (and those the walk
        did not reach) selected; a second "&Extraire" takes only those: files
        done the first time are not written again, although the policy is to
        replace."""
        destination = self.work / "dest"

        def block_folder():
            destination.mkdir()
            (destination / "dossier").write_text("un fichier à la place du dossier")

        def unblock_folder():
            (destination / "dossier").unlink()

        def remove_damaged():
            (destination / DAMAGED).unlink()

        blocked = windows_path(destination / "dossier" / "sous")
        cases = [
            # name, files, damaged, before, first run's boxes, left selected,
            # between the runs, second run's boxes, files at the end
            ("damaged member", {"a.txt": "a", DAMAGED: DAMAGED_DATA, "c.txt": "c"}, True,
             None, [(SOME_FAILED_TEXT, ERROR_CAPTION)], [DAMAGED],
             remove_damaged, [(SOME_FAILED_TEXT, ERROR_CAPTION)], None),
            ("folder that cannot be made",
             {"a.txt": "a", "dossier/sous/b.txt": "b", "c.txt": "c"}, False,
             block_folder, [(blocked, FOLDER_ERROR_TEXT), (SOME_FAILED_TEXT, ERROR_CAPTION)],
             ["c.txt", "dossier/sous/b.txt"],
             unblock_folder, [(ALL_DONE_TEXT, DONE_CAPTION)],
             {"a.txt": "déjà là", "c.txt": "c", "dossier/sous/b.txt": "b"}),
        ]
        for (name, files, damaged, before, first_boxes, left, between, second_boxes,
             final) in cases:
            with self.subTest(name):
                shutil.rmtree(destination, ignore_errors=True)
                if before:
                    before()
                dialog = self.start(self.program(files, "--overwrite", "always",
                                                 damaged=damaged))
                self.extract_to(destination)
                self.answer_boxes(first_boxes)
                self.driver.use(dialog)
                # Enabled again once the run is over, a moment after its box.
                controls = self.driver.controls_when(lambda c: c[EXTRACT]["enabled"])
                self.assertEqual(selected(controls[MEMBERS]), left)
                self.assertTrue(controls[EXTRACT]["enabled"])
                self.assertEqual((destination / "a.txt").read_text(), "a")
                (destination / "a.txt").write_text("déjà là")
                between()
                self.driver.send("click", EXTRACT)
                self.answer_boxes(second_boxes)
                if final is None:
                    # The damaged member was written again, as decoded; the
                    # rest was left alone, and it alone is still selected.
                    self.driver.use(dialog)
                    self.assertEqual(selected(self.driver.controls()[MEMBERS]), left)
                    self.assertEqual(tree(destination),
                                     {"a.txt": "déjà là", DAMAGED: DAMAGED_WRITTEN, "c.txt": "c"})
                    self.driver.send("click", CLOSE)
                    self.assertEqual(self.driver.wait_exit()["exit"], 0)
                else:
                    self.assertEndsAlone()
                    self.assertEqual(tree(destination), final)

    def test_destination_field(self):
        """The run extracts into the folder typed, with or without a trailing
        backslash; an empty field means the current folder, which the field
        then shows."""
        files = {"a.txt": "a", "sous/b.txt": "b"}
        destination = self.work / "dest"
        cases = [
            # typed, where the files go, what the field shows during the run
            (windows_path(destination), destination, windows_path(destination)),
            (windows_path(destination) + "\\", destination, windows_path(destination) + "\\"),
            ("", self.work, windows_path(self.work)),
        ]
        program = self.program(files)
        for typed, target, shown in cases:
            with self.subTest(typed=typed):
                shutil.rmtree(destination, ignore_errors=True)
                for name in files:
                    (self.work / name).unlink(missing_ok=True)
                dialog = self.start(program)
                self.driver.send("set-text", DESTINATION, typed)
                self.driver.send("click", EXTRACT)
                box = self.driver.wait_box()
                self.assertBox(box, ALL_DONE_TEXT, DONE_CAPTION, [IDOK])
                self.driver.use(dialog)
                self.assertEqual(self.driver.controls()[DESTINATION]["text"], shown)
                self.driver.use(box)
                self.driver.answer_box(IDOK)
                self.assertEndsAlone()
                self.assertEqual({n: (target / n).read_text() for n in files}, files)

    def test_done_message(self):
        """A successful run says so once ("Terminé.", OK alone) and the program
        ends; with the message switched off it ends without a word."""
        files = {"a.txt": "a"}
        cases = [([], [(ALL_DONE_TEXT, DONE_CAPTION)]), (["--no-done-message"], [])]
        for options, boxes in cases:
            with self.subTest(options=options):
                destination = self.work / f"dest{len(boxes)}"
                self.start(self.program(files, *options))
                self.extract_to(destination)
                self.answer_boxes(boxes)
                self.assertEndsAlone()
                self.assertEqual(tree(destination), files)

    def test_automatic_mode(self):
        """With --auto a file named "!..." or "Setup.exe" (any case) extracts
        at once into the proposed folder and ends, showing nothing but a
        failure; any other name, or no --auto, opens the dialog as usual."""
        files = {"a.txt": "a", DAMAGED: DAMAGED_DATA}
        cases = [
            # file name, options, damaged, starts by itself, boxes
            ("!x.exe", ["--auto"], False, True, []),
            ("Setup.exe", ["--auto"], False, True, []),
            ("SETUP.EXE", ["--auto"], False, True, []),
            ("!x.exe", ["--auto"], True, True, [(SOME_FAILED_TEXT, ERROR_CAPTION)]),
            ("installer.exe", ["--auto"], False, False, []),
            ("!x.exe", [], False, False, []),
        ]
        for number, (name, options, damaged, by_itself, boxes) in enumerate(cases):
            with self.subTest(name=name, options=options, damaged=damaged):
                destination = self.work / f"dest{number}"
                program = self.program(files, "--dest", windows_path(destination), *options,
                                       name=name, damaged=damaged)
                self.driver.start(program)
                if by_itself:
                    self.answer_boxes(boxes)
                    ended = self.driver.wait_exit()
                    # Wine shows a dialog ended during its initialisation for
                    # an instant (its caption may already be gone); nothing
                    # else may appear.
                    self.assertEqual(ended["exit"], 0)
                    self.assertEqual([w for w in ended["seen"]
                                      if w not in ('#32770 ""', '#32770 "Quillex"')], [])
                    self.assertEqual(sorted(tree(destination)), sorted(files))
                else:
                    dialog = self.driver.wait_window()
                    self.assertEqual(dialog["caption"], harness.DEFAULT_CAPTION)
                    self.driver.send("sleep", 0.5)
                    self.assertFalse(destination.exists())
                    self.driver.send("click", CLOSE)
                    self.assertEqual(self.driver.wait_exit()["exit"], 0)
                program.unlink()

    def test_about_box(self):
        """"&Infos..." shows the four lines about the program in a box of its
        own; the dialog goes on afterwards."""
        files = {"lisez-moi.txt": "Bonjour !\n", "documents/guide.txt": "guide",
                 "documents/exemple.txt": "exemple"}
        dialog = self.start(self.program(files, "--caption", "Démonstration Quillex",
                                         "--dest", "C:\\Quillex\\Démonstration",
                                         "--run", "><lisez-moi.txt"))
        self.screenshot("main-dialog", dialog)
        self.driver.send("click", ABOUT)
        box = self.driver.wait_box()
        self.assertBox(box, "Quillex, l'archive auto-extractible pour Windows.\r\n"
                       "Site : https://quillex.example.org\r\n"
                       "Courriel : contact@quillex.example.org\r\n"
                       "Distribution libre et gratuite, sans garantie.",
                       "A propos de Quillex...", [IDOK])
        self.screenshot("about", box)
        self.driver.answer_box(IDOK)
        self.driver.use(dialog)
        self.driver.send("click", CLOSE)
        self.assertEqual(self.driver.wait_exit()["exit"], 0)

    def test_close_sets_current_folder(self):
        """"&Fermer" makes the folder in the field the program's current folder
        when it exists, and leaves it otherwise; the automatic mode closes the
        same way after its run. Wine's file trace reports every change of the
        current folder, which is how the change is seen from outside."""
        files = {"a.txt": "a"}
        existing = self.work / "ailleurs"
        existing.mkdir()
        automatic = self.work / "auto"
        start_folder = windows_path(self.work) + "\\"
        cases = [
            # file name, options, typed (None: as proposed), current folder at the end
            ("setup.exe", [], windows_path(existing), windows_path(existing) + "\\"),
            ("setup.exe", [], windows_path(self.work / "absent"), start_folder),
            ("!x.exe", ["--auto", "--dest", windows_path(automatic)], None,
             windows_path(automatic) + "\\"),
        ]
        self.driver.trace("+pid,trace+file")
        for name, options, typed, expected in cases:
            with self.subTest(typed=typed, options=options):
                program = self.program(files, *options, name=name)
                process = self.driver.start(program)["pid"]
                if typed is not None:
                    self.driver.wait_window()
                    self.driver.send("set-text", DESTINATION, typed)
                    self.driver.send("click", CLOSE)
                self.assertEqual(self.driver.wait_exit()["exit"], 0)
                lines = self.driver.trace_lines(
                    "RtlSetCurrentDirectory_U", process,
                    lambda found: found and trace_text(found[-1], "curdir now") == expected)
                changes = [trace_text(line, "curdir now") for line in lines]
                self.assertEqual(changes[-1], expected, changes)


if __name__ == "__main__":
    harness.main()
