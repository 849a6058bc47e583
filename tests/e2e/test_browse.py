"""The destination chosen with "...": the shell's folder browser with the
added "Nouveau..." button, and "DLGNEW", which makes a subfolder there."""

from pathlib import Path

import harness
from harness import (BROWSE, CLOSE, DESTINATION, ERROR_CAPTION, FOLDER_ERROR_TEXT, IDCANCEL,
                     IDOK, trace_text, wait_for, windows_path)

BROWSER_TITLE = "Extraire vers : "
BROWSER_PROMPT = "Veuillez choisir le répertoire d'extraction"
NEW_FOLDER_BUTTON = 1277
NEW_TITLE = "Créer sous-répertoire"
NEW_PARENT, NEW_NAME = 3001, 3002
BEFORE = "texte d'avant"   # what the field holds when "..." is pressed


def tree_path(folder):
    """The texts of the browser's tree items that lead to a folder."""
    return ["Desktop", "/", *Path(folder).resolve().parts[1:]]


def overlaps(a, b):
    return a[0] < b[2] and b[0] < a[2] and a[1] < b[3] and b[1] < a[3]


class Browse(harness.WineTestCase):

    def setUp(self):
        super().setUp()
        self.driver.trace("+pid,trace+file")
        self.process = self.driver.start(self.sfx())["pid"]
        self.dialog = self.driver.wait_window()

    def current_folder(self, expected=None):
        """The program's current folder as wine's file trace last reported it
        (given a moment to report the one expected)."""
        lines = self.driver.trace_lines(
            "RtlSetCurrentDirectory_U curdir", self.process,
            lambda found: found and (expected is None or
                                     trace_text(found[-1], "curdir now") == expected))
        return trace_text(lines[-1], "curdir now")

    def open_browser(self):
        self.driver.use(self.dialog)
        self.driver.send("set-text", DESTINATION, BEFORE)
        self.driver.send("click", BROWSE)
        browser = self.driver.wait_window(BROWSER_TITLE)
        self.tree = next(i for i, c in self.driver.controls().items()
                         if c["class"] == "SysTreeView32")
        return browser

    def buttons_after(self, *path):
        """Selects a tree item; the states of OK and "Nouveau..." once the
        browser has settled (the new button may follow OK a moment later)."""
        self.driver.send("tree-select", self.tree, *path)

        def states():
            controls = self.driver.controls()
            both = (controls[IDOK]["enabled"], controls[NEW_FOLDER_BUTTON]["enabled"])
            return both if both[0] == both[1] else None
        settled = wait_for(states, 2)
        if settled is None:
            controls = self.driver.controls()
            return controls[IDOK]["enabled"], controls[NEW_FOLDER_BUTTON]["enabled"]
        return settled

    def assertField(self, expected):
        """The destination field comes to show expected (the main dialog sets
        it a moment after the browser or "DLGNEW" has gone)."""
        self.driver.use(self.dialog)
        controls = self.driver.controls_when(lambda c: c[DESTINATION]["text"] == expected)
        self.assertEqual(controls[DESTINATION]["text"], expected)

    def test_browser(self):
        """The browser opens with its title, its prompt and "Nouveau..." on
        OK's line, left of it, disabled, overlapping nothing. A file-system
        folder enables OK and "Nouveau...", an item without a path disables
        both. Cancel leaves the current folder and puts the stored folder
        back in the field; OK stores the chosen folder there and makes it
        the current folder."""
        chosen = self.work / "cible"
        chosen.mkdir()
        start_folder = self.current_folder()
        browser = self.open_browser()
        controls = self.driver.controls()
        button, ok = controls[NEW_FOLDER_BUTTON], controls[IDOK]
        self.assertEqual((button["text"], button["enabled"]), ("Nouveau...", False))
        self.assertIn(BROWSER_PROMPT, [c["text"] for c in controls.values()])
        self.assertEqual(browser["caption"], BROWSER_TITLE)
        left, top, right, bottom = ok["rect"]
        self.assertEqual(button["rect"], [left - 90, top, left - 15, bottom])
        for other in controls.values():
            if other is not button and other["visible"]:
                self.assertFalse(overlaps(button["rect"], other["rect"]), other)
        cases = [
            # tree path, OK and "Nouveau..." enabled
            (tree_path(chosen), (True, True)),
            (["Desktop", "Trash"], (False, False)),
            (["Desktop", "My Computer"], (False, False)),
            (tree_path(self.work), (True, True)),
            (tree_path(chosen), (True, True)),
        ]
        for path, enabled in cases:
            with self.subTest(path=path[-1]):
                self.assertEqual(self.buttons_after(*path), enabled)
        self.screenshot("browser", browser)
        self.driver.send("click", IDCANCEL)
        self.driver.send("wait-gone")
        self.assertField(windows_path(self.work))
        self.assertEqual(self.current_folder(), start_folder)
        self.open_browser()
        self.buttons_after(*tree_path(chosen))
        self.driver.send("click", IDOK)
        self.driver.send("wait-gone")
        self.assertField(windows_path(chosen))
        self.assertEqual(self.driver.send("count-windows")["count"], 1)
        expected = windows_path(chosen) + "\\"
        self.assertEqual(self.current_folder(expected), expected)
        self.driver.send("click", CLOSE)
        self.assertEqual(self.driver.wait_exit()["exit"], 0)

    def test_new_folder(self):
        """"Nouveau..." accepts the browsed folder and opens "DLGNEW", which
        shows it with a backslash. A name (of one or more levels) is created
        there and becomes the destination, as typed, and the current folder;
        an empty name keeps the parent. A drive colon or nothing but
        backslashes is refused with a message and the dialog stays. "Annuler"
        forgets the browsed folder: the field keeps its text, while the
        current folder stays the browsed one."""
        cases = [
            # typed, refused, leave by OK, field afterwards (None: as before),
            # folders made under the parent
            ("sous\\plus bas", False, True, "{parent}\\sous\\plus bas",
             ["sous", "sous/plus bas"]),
            ("", False, True, "{parent}\\", []),
            ("\\\\tête", False, True, "{parent}\\\\\\tête", ["tête"]),
            ("c:oups", True, False, None, []),
            ("\\\\", True, False, None, []),
            ("oublié", False, False, None, []),
        ]
        # The tree's root is a folder too: "DLGNEW" opens on it (the picture
        # of the dialog is taken there, where its path is short).
        self.open_browser()
        self.assertEqual(self.buttons_after("Desktop"), (True, True))
        self.driver.send("click", NEW_FOLDER_BUTTON)
        new = self.driver.wait_window(NEW_TITLE)
        self.assertRegex(self.driver.controls()[NEW_PARENT]["text"], r"^C:\\.*\\Desktop\\$")
        self.driver.send("type", NEW_NAME, "Mon programme")
        self.screenshot("new-folder", new)
        self.driver.send("click", IDCANCEL)
        self.driver.send("wait-gone")
        self.assertField(BEFORE)
        for number, (typed, refused, accept, expected, made) in enumerate(cases):
            with self.subTest(typed=typed):
                parent = self.work / f"parent {number}"
                parent.mkdir()
                self.open_browser()
                self.buttons_after(*tree_path(parent))
                self.driver.send("click", NEW_FOLDER_BUTTON)
                new = self.driver.wait_window(NEW_TITLE)
                controls = self.driver.controls()
                self.assertEqual(controls[NEW_PARENT]["text"], windows_path(parent) + "\\")
                self.assertEqual(self.driver.send("dump")["focus"], NEW_NAME)
                self.driver.send("type", NEW_NAME, typed)
                if refused:
                    self.driver.send("click", IDOK)
                    box = self.driver.wait_box()
                    self.assertBox(box, FOLDER_ERROR_TEXT, ERROR_CAPTION, [IDOK])
                    self.driver.answer_box(IDOK)
                    self.assertTrue(self.driver.use(new))
                    self.assertEqual(self.driver.send("count-windows")["count"], 2)
                self.driver.send("click", IDOK if accept else IDCANCEL)
                self.driver.send("wait-gone")
                shown = expected.format(parent=windows_path(parent)) if expected else BEFORE
                self.assertField(shown)
                found = sorted(p.relative_to(parent).as_posix() for p in parent.rglob("*"))
                self.assertEqual(found, made)
                # The browse made the parent the current folder, a new folder
                # then took its place.
                current = parent / made[-1] if made else parent
                expected = windows_path(current) + "\\"
                self.assertEqual(self.current_folder(expected), expected)
        self.driver.send("click", CLOSE)
        self.assertEqual(self.driver.wait_exit()["exit"], 0)


if __name__ == "__main__":
    harness.main()
