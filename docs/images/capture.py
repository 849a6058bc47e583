#!/usr/bin/env python3
"""Takes the pictures of docs/distributors.md: the real program under wine,
driven by the end-to-end harness (tests/e2e/harness.py, whose settings it
shares). Run it under an X server, after scripts/build:

    xvfb-run -a -s "-screen 0 1024x768x24" python3 docs/images/capture.py

It writes build/screenshots/guide-*.png and copies them here."""

import shutil
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
TOP = HERE.parents[1]
sys.path.insert(0, str(TOP / "tests" / "e2e"))

import harness  # noqa: E402
from harness import IDCANCEL, IDNO, IDOK, QUILLEX, STUB, run, screenshot, windows_path  # noqa: E402

WORK = harness.WORK / "guide-pictures"
SOURCE = TOP / "examples"
CAPTION = "Mon programme 2.0"
DESTINATION = r"C:\Mon programme"
OVERWRITE_QUESTION = "Confirmer re-écriture de..."
DONT_ASK_AGAIN = 401


def build(name, *options):
    out = WORK / name
    run([QUILLEX, "build", SOURCE, "-o", out, "--stub", STUB, "-q", "--caption", CAPTION, *options])
    return out


def shoot(name, answer):
    screenshot("guide-" + name, answer["rect"], force=True)


def main_dialog(driver):
    driver.start(build("main.exe", "--dest", DESTINATION, "--run", "><lisez-moi.txt"))
    shoot("main", driver.wait_window(seconds=30))
    driver.send("click", IDCANCEL)
    driver.wait_exit(30)


def reduced_dialog(driver):
    driver.start(build("reduced.exe", "--dest", DESTINATION, "--run", "><lisez-moi.txt",
                       "--no-member-choice", "--hide-overwrite", "--hide-run-option"))
    shoot("main-reduced", driver.wait_window(seconds=30))
    driver.send("click", IDCANCEL)
    driver.wait_exit(30)


def start_message(driver):
    driver.start(build("message.exe", "--message", "Installer Mon programme 2.0 sur cet ordinateur ?",
                       "--message-type", "yesno"))
    shoot("start-message", driver.wait_box(30))
    driver.answer_box(IDNO)
    driver.wait_exit(30)


def password_and_done(driver):
    target = WORK / "target"
    shutil.rmtree(target, ignore_errors=True)
    driver.start(build("secret.exe", "--dest", windows_path(target), "--password", "sésame"))
    driver.wait_window(seconds=30)
    driver.send("click", IDOK)
    shoot("password", driver.wait_window(caption="Mot de passe...", seconds=30))
    driver.send("type", 101, "sésame")
    driver.send("click", IDOK)
    shoot("done", driver.wait_box(30))
    driver.answer_box(IDOK)
    driver.wait_exit(30)


def overwrite_question(driver):
    # The files of the run before are there already.
    driver.start(build("again.exe", "--dest", windows_path(WORK / "target")))
    driver.wait_window(seconds=30)
    driver.send("click", IDOK)
    shoot("overwrite", driver.wait_window(caption=OVERWRITE_QUESTION, seconds=30))
    driver.send("check", DONT_ASK_AGAIN, 1)
    driver.send("click", IDCANCEL)   # "Non" for this file and, from now on, the others
    driver.wait_box(30)
    driver.answer_box(IDOK)
    driver.wait_exit(30)


def size_message(driver):
    program = build("cut.exe")
    program.write_bytes(program.read_bytes()[:-1])
    driver.start(program)
    shoot("size-message", driver.wait_box(30))
    driver.answer_box(IDOK)
    driver.wait_exit(30)


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    WORK.mkdir(parents=True)
    harness.prepare_prefix()
    try:
        for scene in [main_dialog, reduced_dialog, start_message, password_and_done,
                      overwrite_question, size_message]:
            driver = harness.Driver(cwd=WORK)
            try:
                scene(driver)
            finally:
                driver.close()
    finally:
        harness.stop_prefix()
    for picture in sorted(harness.SCREENSHOTS.glob("guide-*.png")):
        shutil.copy(picture, HERE / picture.name[len("guide-"):])
        print("docs/images/" + picture.name[len("guide-"):])


if __name__ == "__main__":
    main()
