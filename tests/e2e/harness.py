"""End-to-end test harness: the real stub under wine, driven by tests/ui's driver.

A scenario builds a self-extracting file with `quillex build` from a ZIP archive
made with Info-ZIP's `zip`, starts it through the driver (one JSON answer per
command, see tests/ui/driver.cpp) and checks what the user sees and the files
on disk. Every wait is bounded, here and in the driver.

Settings come from the environment (CTest sets them; the defaults suit a
checkout built with scripts/build):
  QUILLEX_DIST         dist/ with quillex and stub64.exe
  QUILLEX_DRIVER       the driver, build/win64/tests/ui/ui_driver.exe
  QUILLEX_WINE64       the wine64 loader
  QUILLEX_WINESERVER   the wineserver of that wine
  QUILLEX_WINEPREFIX   the private prefix, build/native/wineprefix (never the
                       user's own WINEPREFIX: the harness reconfigures it)
  QUILLEX_E2E_WORK     where scenarios leave their files, build/native/e2e
  QUILLEX_SCREENSHOTS  1: save screenshots to build/screenshots/

Run as a program it prepares the prefix, stops it, or shows a file's dialog:
  harness.py prepare | stop | show FILE.exe
"""

import json
import os
import queue
import re
import shutil
import subprocess
import sys
import threading
import time
import unittest
from pathlib import Path

TOP = Path(__file__).resolve().parents[2]

# What the program says (its texts, in UTF-8 here).
BAD_SIZE_TEXT = "Taille de fichier incorrect, essayez de le télécharger à nouveau."
ERROR_CAPTION = "Erreur.."
READ_ERROR_CAPTION = "Erreur à la lecture de l'archive."
DEFAULT_CAPTION = "Quillex"
ALL_DONE_TEXT = "Tous les fichiers ont été extraits."
DONE_CAPTION = "Terminé."
SOME_FAILED_TEXT = "Le(s) fichier(s) sélectionné(s) n'ont pu être extraits."
FOLDER_ERROR_TEXT = "Erreur dans le répertoire .."
OPEN_ERROR_CAPTION = "Impossible d'ouvrir le fichier .."

# The main dialog's controls.
DESTINATION, BROWSE, MEMBERS, MEMBERS_SHOWN = 101, 775, 301, 302
OVERWRITE_LABEL, ALWAYS, NEVER, CONFIRM = 509, 501, 502, 503
RUN_OPTION, ABOUT, EXTRACT, CLOSE = 1007, 103, 1, 2

# Button IDs of message boxes and dialogs.
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7

SKIP_EXIT_CODE = 77   # CTest's SKIP_RETURN_CODE for these tests

DRIVER_START_SECONDS = 60   # the first wine start in a prefix can be slow
ANSWER_MARGIN_SECONDS = 15  # beyond the driver's own limit for a command


def _setting(name, default):
    return Path(os.environ.get(name) or default)


def _program(name, fallback):
    found = os.environ.get(name)
    if found:
        return found
    return shutil.which(Path(fallback).name) or fallback


DIST = _setting("QUILLEX_DIST", TOP / "dist")
DRIVER = _setting("QUILLEX_DRIVER", TOP / "build/win64/tests/ui/ui_driver.exe")
WINE64 = _program("QUILLEX_WINE64", "/usr/lib/wine/wine64")
WINESERVER = _program("QUILLEX_WINESERVER", "/usr/lib/wine/wineserver")
PREFIX = _setting("QUILLEX_WINEPREFIX", TOP / "build/native/wineprefix")
WORK = _setting("QUILLEX_E2E_WORK", TOP / "build/native/e2e")
SCREENSHOTS = TOP / "build/screenshots"
STUB = DIST / "stub64.exe"   # the only stub that runs here
QUILLEX = DIST / "quillex"


def wine_environment():
    env = dict(os.environ)
    env.update(WINEPREFIX=str(PREFIX), WINEDEBUG="-all", LANG="C.UTF-8", LC_ALL="C.UTF-8")
    return env


def windows_path(path):
    """The name wine gives a Linux path (drive Z: is the root)."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def run(command, timeout=60, **options):
    """Runs a command to its end, bounded; fails with its output. Its input is
    closed: wine's console programs would otherwise wait on it."""
    options.setdefault("stdin", subprocess.DEVNULL)
    result = subprocess.run([c if isinstance(c, bytes) else str(c) for c in command],
                            capture_output=True, text=True, timeout=timeout, **options)
    if result.returncode != 0:
        raise RuntimeError(f"{command[0]} failed ({result.returncode}):\n"
                           f"{result.stdout}{result.stderr}")
    return result


# ---------------------------------------------------------------------------
# Fixtures

def make_zip(folder, files, name="payload.zip", zip_options=(), in_order=False):
    """Writes `files` (name -> bytes or text) under folder/content and zips them:
    the whole tree with its folder entries, or with in_order exactly these
    files, in this order, without folder entries."""
    content = Path(folder) / "content"
    shutil.rmtree(content, ignore_errors=True)
    for member, data in files.items():
        target = content / member
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(data.encode() if isinstance(data, str) else data)
    archive = Path(folder) / name
    archive.unlink(missing_ok=True)
    names = list(files) if in_order else ["-r", "."]
    run(["zip", "-q", *zip_options, archive, *names], cwd=content)
    return archive


def wait_for(condition, seconds=10, interval=0.1):
    """Polls until condition() gives something true, and returns it; None when
    the time is up."""
    deadline = time.monotonic() + seconds
    while True:
        found = condition()
        if found or time.monotonic() >= deadline:
            return found or None
        time.sleep(interval)


def trace_text(line, name):
    """The text wine's trace shows after name as L"...": backslashes come
    doubled there, other characters beyond ASCII as a backslash and four hex
    digits."""
    quoted = re.search(re.escape(name) + r' L"((?:[^"\\]|\\.)*)"', line).group(1)
    return re.sub(r"\\(\\|[0-9a-f]{4})",
                  lambda m: "\\" if m.group(1) == "\\" else chr(int(m.group(1), 16)), quoted)


def tree(folder):
    """Every file under folder (its path in / form) with its text."""
    folder = Path(folder)
    return {p.relative_to(folder).as_posix(): p.read_text(encoding="utf-8", errors="replace")
            for p in sorted(folder.rglob("*")) if p.is_file()}


def build_sfx(archive, output, *options):
    """Makes a self-extracting file with the 64-bit stub; options as for quillex build."""
    run([QUILLEX, "build", archive, "-o", output, "--stub", STUB, *options])
    return Path(output)


def screenshots_wanted():
    return os.environ.get("QUILLEX_SCREENSHOTS", "") not in ("", "0")


def screenshot(name, rect=None, force=False):
    """Saves the screen (or the rectangle [left, top, right, bottom] of it) as
    build/screenshots/NAME.png when screenshots are asked for; returns the path."""
    if not (force or screenshots_wanted()):
        return None
    SCREENSHOTS.mkdir(parents=True, exist_ok=True)
    path = SCREENSHOTS / f"{name}.png"
    time.sleep(0.3)   # a window just shown may not have painted yet
    command = ["import", "-window", "root"]
    if rect:
        left, top, right, bottom = rect
        command += ["-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage"]
    run(command + [path], timeout=30)
    return path


# ---------------------------------------------------------------------------
# The driver

class DriverError(AssertionError):
    """The driver refused a command or did not answer in time."""


class Driver:
    """The test driver running under wine; one command, one answer."""

    def __init__(self, cwd):
        for needed in (DRIVER, STUB, QUILLEX):
            if not needed.exists():
                raise FileNotFoundError(f"{needed} is missing: run scripts/build first")
        self.transcript = []
        self._answers = queue.Queue()
        self._process = subprocess.Popen(
            [WINE64, str(DRIVER)], cwd=cwd, env=wine_environment(),
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            encoding="utf-8", errors="replace")
        self._errors = []
        threading.Thread(target=self._read, args=(self._process.stdout, self._answers.put),
                         daemon=True).start()
        threading.Thread(target=self._read, args=(self._process.stderr, self._errors.append),
                         daemon=True).start()

    @staticmethod
    def _read(stream, keep):
        try:
            for line in stream:
                keep(line.rstrip("\n"))
        except (OSError, ValueError):
            pass   # closed by close() while wine's helpers still held the pipe
        keep(None)

    def send(self, *words, timeout=None, check=True):
        """Sends one command and returns its answer; a refusal raises DriverError
        unless check is false. `timeout` is the command's own time limit, when
        it takes one (passed as its last word)."""
        if timeout is not None:
            words = (*words, timeout)
        line = " ".join(self._word(w) for w in words)
        self.transcript.append("> " + line)
        try:
            self._process.stdin.write(line + "\n")
            self._process.stdin.flush()
        except OSError as error:
            raise DriverError(f"the driver is gone ({error})\n" + self.text()) from None
        limit = (timeout or 10) + ANSWER_MARGIN_SECONDS
        if words[0] == "start":
            limit += DRIVER_START_SECONDS
        try:
            answer = self._answers.get(timeout=limit)
        except queue.Empty:
            raise DriverError(f"no answer to {line!r} within {limit} s\n" + self.text()) from None
        if answer is None:
            raise DriverError(f"the driver ended before answering {line!r}\n" + self.text())
        self.transcript.append("< " + answer)
        reply = json.loads(answer)
        if check and not reply["ok"]:
            raise DriverError(reply["error"] + "\n" + self.text())
        return reply

    @staticmethod
    def _word(word):
        word = str(word)
        if re.fullmatch(r"[^\s\"]+", word):
            return word
        return json.dumps(word, ensure_ascii=False)

    def text(self):
        errors = [e for e in self._errors if e and ":trace:" not in e]
        return "\n".join(self.transcript + (["(driver stderr)"] + errors if errors else []))

    def trace(self, channels):
        """Wine's trace channels (e.g. "trace+file") for the programs started
        from now on; their lines come back through trace_lines()."""
        self.send("setenv", "WINEDEBUG", "-all," + channels)

    def trace_lines(self, word, process=None, settled=None, seconds=3):
        """The trace lines so far that hold word; with process (a pid, the
        trace having "+pid"), only that process's. The lines come through a
        pipe of their own, a little behind the answers: with settled, waits
        up to seconds for settled(lines) to hold."""
        prefix = f"{process:04x}:" if process is not None else ""

        def lines():
            return [e for e in list(self._errors)
                    if e and ":trace:" in e and word in e and e.startswith(prefix)]
        if settled is not None:
            wait_for(lambda: settled(lines()), seconds)
        return lines()

    def close(self):
        """Ends the driver, which ends the program it started if still running."""
        if self._process.poll() is None:
            try:
                self._process.stdin.write("quit\n")
                self._process.stdin.close()
            except OSError:
                pass
            try:
                self._process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait(timeout=10)
        for stream in (self._process.stdout, self._process.stderr):
            stream.close()

    # The commands the scenarios use most.

    def start(self, program, *arguments, suspended=False):
        words = ["start"] + (["suspended"] if suspended else [])
        return self.send(*words, windows_path(program), *arguments)

    def wait_box(self, seconds=10):
        return self.send("wait-box", timeout=seconds)

    def answer_box(self, button):
        return self.send("answer-box", button)

    def wait_window(self, caption="*", window_class="#32770", seconds=10):
        return self.send("wait-window", window_class, caption, timeout=seconds)

    def wait_exit(self, seconds=10):
        return self.send("wait-exit", timeout=seconds)

    def controls(self):
        """The current window's controls by ID (labels without an ID left out)."""
        return {c["id"]: c for c in self.send("dump")["controls"] if c["id"] != 0xFFFF}

    def controls_when(self, settled, seconds=5):
        """The current window's controls once settled(controls) holds (the
        program may still be busy after the window the test waited for has
        gone), or as they are when the time is up."""
        return wait_for(lambda: (lambda c: c if settled(c) else None)(self.controls()),
                        seconds) or self.controls()

    def use(self, window):
        """Makes a window of an earlier answer the current one again."""
        return self.send("use", window["window"])


class WineTestCase(unittest.TestCase):
    """A scenario with its own work folder and its own driver."""

    def setUp(self):
        self.work = WORK / self.id().split(".", 1)[-1]
        shutil.rmtree(self.work, ignore_errors=True)
        self.work.mkdir(parents=True)
        self.driver = Driver(cwd=self.work)
        self.addCleanup(self._finish)

    def _finish(self):
        self.driver.close()
        transcript = self.driver.text()
        (self.work / "transcript.txt").write_text(transcript + "\n", encoding="utf-8")
        # Shown by CTest when the test fails (--output-on-failure).
        print(f"--- {self.id()}\n{transcript}", file=sys.stderr)

    def sfx(self, *options, files=None, name="setup.exe"):
        """A self-extracting file in the work folder; the members default to a
        small text file."""
        archive = make_zip(self.work, files or {"lisez-moi.txt": "Bonjour !\n"})
        return build_sfx(archive, self.work / name, *options)

    def screenshot(self, name, answer=None):
        """Saves the window of a driver answer (or the screen) when asked for."""
        return screenshot(name, answer.get("rect") if answer else None)

    def assertBox(self, box, text, caption, buttons):
        """A message box shows exactly this text, caption and button IDs."""
        self.assertEqual((box["text"], box["caption"], sorted(b["id"] for b in box["buttons"])),
                         (text, caption, sorted(buttons)))

    def assertEndsAlone(self, seconds=10):
        """The program ends with code 0 and shows no further window meanwhile."""
        ended = self.driver.wait_exit(seconds)
        self.assertEqual((ended["exit"], ended["seen"]), (0, []))


def main():
    """Runs the scenarios of the calling module; skipped without a display."""
    if not os.environ.get("DISPLAY"):
        print("no DISPLAY: the wine scenarios need an X server (scripts/test runs "
              "them under xvfb-run)", file=sys.stderr)
        sys.exit(SKIP_EXIT_CODE)
    unittest.main(module="__main__", verbosity=2)


# ---------------------------------------------------------------------------
# The prefix, and showing a file's dialog

def _stop_wineserver():
    """Ends every wine process of the prefix, and its wineserver (none running
    is fine)."""
    subprocess.run([WINESERVER, "-k"], env=wine_environment(), timeout=30,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def prepare_prefix():
    """A fresh wineserver for this display, and the prefix made or updated."""
    _stop_wineserver()
    PREFIX.parent.mkdir(parents=True, exist_ok=True)
    started = time.monotonic()
    run([WINE64, "wineboot", "-i"], env=wine_environment(), timeout=300)
    # Without a window manager, wine waits two seconds for one at every window
    # it hides unless it leaves the windows unmanaged.
    run([WINE64, "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N",
         "/f"], env=wine_environment(), timeout=60)
    print(f"wine prefix {PREFIX} ready in {time.monotonic() - started:.1f} s")


def stop_prefix():
    _stop_wineserver()
    print(f"no wine process left in {PREFIX}")


def show(program):
    """Starts a self-extracting file, waits for its main dialog, saves a
    screenshot to build/screenshots/demo.png, prints the dialog's contents and
    closes it with "&Fermer"."""
    program = Path(program).resolve()
    driver = Driver(cwd=program.parent)
    try:
        driver.start(program)
        dialog = driver.send("wait-window", "#32770", "*", 30)
        shot = screenshot("demo", dialog["rect"], force=True)
        print(f"dialog \"{dialog['caption']}\"; screenshot: {shot}")
        for control in driver.send("dump")["controls"]:
            state = [] if control["visible"] else ["hidden"]
            state += [] if control["enabled"] else ["disabled"]
            if "checked" in control:
                state.append(f"checked={control['checked']}")
            line = f"  {control['id']:>5} {control['class']:<8} {control['text']!r}"
            print(line + (" (" + ", ".join(state) + ")" if state else ""))
            for item in control.get("items", []):
                print(f"{'':16}{'[x]' if item.get('selected') else '[ ]'} {item['text']}")
        driver.send("click", IDCANCEL)
        print(f"closed with \"&Fermer\"; exit code {driver.wait_exit(30)['exit']}")
    finally:
        driver.close()


if __name__ == "__main__":
    actions = {"prepare": prepare_prefix, "stop": stop_prefix}
    if len(sys.argv) == 3 and sys.argv[1] == "show":
        show(sys.argv[2])
    elif len(sys.argv) == 2 and sys.argv[1] in actions:
        actions[sys.argv[1]]()
    else:
        sys.exit(__doc__)
