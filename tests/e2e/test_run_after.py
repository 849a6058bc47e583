"""The command run after a successful extraction: the check box's text, a
program of ours started from the archive, and an .INF file installed through
rundll32 and setupapi."""

import re
import shutil

import harness
from harness import (ALL_DONE_TEXT, CLOSE, DESTINATION, DONE_CAPTION, DRIVER, EXTRACT, IDOK,
                     RUN_OPTION, build_sfx, make_zip, trace_text, wait_for, windows_path)

PROGRAM = "prog.exe"     # the test driver, which leaves a marker when asked
MARKER = "marque.txt"


class RunAfter(harness.WineTestCase):

    def test_check_box_text(self):
        """The check box names what will run or be installed, from the names
        after the last separator of each part; the destination then ends in a
        backslash. Without a command the box is hidden and unchecked; with it
        hidden on request it stays checked."""
        work = windows_path(self.work)
        cases = [
            # command, more options, text, visible, checked
            (None, [], "run", False, 0),
            ("setup.exe", [], "Après extraction, lancer : setup.exe ", True, 1),
            ("><setup.exe|/S", [], "Après extraction, lancer : setup.exe S", True, 1),
            ("|readme.txt", [], "Après extraction, lancer :  readme.txt", True, 1),
            ("a.js", [], "Après extraction, lancer : a.js ", True, 1),
            ("><Mes documents\\lisez-moi.txt|/mode:lecture", [],
             "Après extraction, lancer : lisez-moi.txt lecture", True, 1),
            ("><setup.inf|.ntx86", [], "Après extraction, installer : setup.inf .ntx86", True, 1),
            ("Setup.InF", [], "Après extraction, installer : Setup.InF ", True, 1),
            ("><setup.inf ", [], "Après extraction, lancer : setup.inf  ", True, 1),
            ("><setup.exe", ["--hide-run-option"], "Après extraction, lancer : setup.exe ",
             False, 1),
        ]
        archive = make_zip(self.work, {"a.txt": "a"})
        for command, options, text, visible, checked in cases:
            with self.subTest(command=command, options=options):
                run = ["--run", command] if command is not None else []
                self.driver.start(build_sfx(archive, self.work / "setup.exe", *run, *options))
                self.driver.wait_window()
                controls = self.driver.controls()
                box = controls[RUN_OPTION]
                self.assertEqual((box["text"], box["visible"], box["checked"]),
                                 (text, visible, checked))
                self.assertEqual(controls[DESTINATION]["text"],
                                 work if command is None else work + "\\")
                self.driver.send("click", CLOSE)
                self.assertEqual(self.driver.wait_exit()["exit"], 0)

    def test_program_started(self):
        """After a successful run the command starts, through the shell, with
        the destination as its folder: the program part in its short form (no
        space left for the shell to trip on), the arguments as given. It
        starts in the automatic mode too, and with the box hidden; it does not
        when the user unticks the box."""
        files = {PROGRAM: DRIVER.read_bytes(), "lisez-moi.txt": "Bonjour"}
        cases = [
            # file name, command, options, untick, started
            ("setup.exe", f"><{PROGRAM}|--mark {MARKER}", [], False, True),
            ("!demo.exe", f"><{PROGRAM}|--mark {MARKER}", ["--auto"], False, True),
            ("setup.exe", f"><{PROGRAM}|--mark {MARKER}", ["--hide-run-option"], False, True),
            ("setup.exe", f"><{PROGRAM}|--mark {MARKER}", [], True, False),
            # A bare name: the shell finds it in the destination, the program's
            # current folder while it starts the command.
            ("setup.exe", f"{PROGRAM}|--mark {MARKER}", [], False, True),
        ]
        archive = make_zip(self.work, files)
        for number, (name, command, options, untick, started) in enumerate(cases):
            with self.subTest(name=name, command=command, options=options, untick=untick):
                destination = self.work / f"dossier d'essai {number}"
                program = build_sfx(archive, self.work / name, "--run", command, "--dest",
                                    windows_path(destination), *options)
                self.driver.start(program)
                if "--auto" not in options:
                    self.driver.wait_window()
                    if untick:
                        self.driver.send("check", RUN_OPTION, 0)
                    self.driver.send("click", EXTRACT)
                    box = self.driver.wait_box()
                    self.assertBox(box, ALL_DONE_TEXT, DONE_CAPTION, [IDOK])
                    self.driver.answer_box(IDOK)
                self.assertEqual(self.driver.wait_exit(30)["exit"], 0)
                marker = destination / MARKER
                if not started:
                    self.driver.send("sleep", 2)
                    self.assertFalse(marker.exists())
                    continue
                self.assertTrue(wait_for(marker.exists, 20), "the program did not run")
                command_line, folder = wait_for(
                    lambda: marker.read_text(encoding="utf-8").splitlines() or None, 5)
                parts = re.fullmatch(r'"([^"]*)" (.*)|(\S*) (.*)', command_line).groups()
                started_program, arguments = [p for p in parts if p is not None]
                self.assertEqual(arguments, f"--mark {MARKER}")
                # Rewritten by the program when it names the file through
                # "><": a short path; else as the shell found it.
                form = r"Z:\\[^ ]*\\(?i:prog\.exe)" if command.startswith("><") else \
                    re.escape(windows_path(destination / PROGRAM))
                self.assertRegex(started_program, "^" + form + "$")
                self.assertEqual(folder, windows_path(destination))
                program.unlink()

    def test_inf_installed(self):
        """An .INF file is installed through setupapi's InstallHinfSection in
        rundll32: the section DefaultInstall, or DefaultInstall.ntx86 when the
        argument part is exactly ".ntx86" (any other argument is dropped),
        reboot mode 132 and the file's short path. The INF used copies a file
        into a folder named after its section, which shows the section run."""
        cases = [
            # arguments, section
            (None, "DefaultInstall"),
            (".ntx86", "DefaultInstall.ntx86"),
            (".NTX86", "DefaultInstall"),
            ("/quiet", "DefaultInstall"),
        ]
        self.driver.trace("+pid,trace+process")
        for number, (arguments, section) in enumerate(cases):
            with self.subTest(arguments=arguments):
                destination = self.work / f"dossier d'installation {number}"
                target = self.work / f"installé {number}"
                lines = ['[Version]', 'Signature="$CHICAGO$"', '']
                for name in ["DefaultInstall", "DefaultInstall.ntx86"]:
                    lines += [f"[{name}]", f"CopyFiles={name}.Copie", ""]
                lines += ["[DestinationDirs]"]
                for name in ["DefaultInstall", "DefaultInstall.ntx86"]:
                    lines += [f"{name}.Copie=-1,{windows_path(target / name)}"]
                for name in ["DefaultInstall", "DefaultInstall.ntx86"]:
                    lines += ["", f"[{name}.Copie]", "copie.txt"]
                files = {"setup.inf": "\r\n".join(lines).encode("cp1252") + b"\r\n",
                         "copie.txt": "copiée par setupapi"}
                command = "><setup.inf" + (f"|{arguments}" if arguments else "")
                program = build_sfx(make_zip(self.work, files), self.work / "setup.exe",
                                    "--run", command, "--dest", windows_path(destination))
                process = self.driver.start(program)["pid"]
                self.driver.wait_window()
                self.driver.send("click", EXTRACT)
                self.driver.wait_box()
                self.driver.answer_box(IDOK)
                self.assertEqual(self.driver.wait_exit()["exit"], 0)
                started = [trace_text(line, "cmdline") for line in
                           self.driver.trace_lines("CreateProcessInternalW app ", process, bool)]
                self.assertEqual(len(started), 1, started)
                self.assertRegex(started[0], r"^rundll32\.exe setupapi\.dll,InstallHinfSection "
                                 rf"{re.escape(section)} 132 Z:\\[^ ]*\\(?i:setup\.inf)$")
                copied = target / section / "copie.txt"
                self.assertTrue(wait_for(copied.exists, 20), "setupapi copied nothing")
                self.assertEqual(sorted(p.name for p in target.iterdir()), [section])
                shutil.rmtree(target)


if __name__ == "__main__":
    harness.main()
