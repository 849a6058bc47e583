"""A folder tree made into a self-extracting file by `quillex build` and run by
the real program in automatic mode: every file comes back with its name,
contents and time, every empty folder too, with and without a password."""

import os
import shutil
from pathlib import Path

import harness
from harness import IDOK, QUILLEX, STUB, run, windows_path

PASSWORD_EDIT = 101
SUMMER = 1720960497   # 2024-07-14, an odd second
WINTER = 1705235696   # 2024-01-14


def write(path, data, mtime):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)
    os.utime(path, (mtime, mtime))


def make_tree(root):
    """Nested folders, empty files and folders, accents and spaces, several MiB."""
    write(root / "lisez-moi.txt", "Bonjour\r\n".encode() * 200, SUMMER)
    write(root / "vide.dat", b"", WINTER)
    write(root / "Été à la plage" / "Crème brûlée.txt", "recette".encode(), WINTER + 1)
    write(root / "Été à la plage" / "œuvre €.txt", "œuvre".encode(), SUMMER)
    write(root / "dossier avec espaces" / "bruit.bin", os.urandom(2 << 20), SUMMER + 2)
    write(root / "dossier avec espaces" / "texte.txt",
          b"".join(b"ligne %d du texte\r\n" % i for i in range(200000)), 1000000001)
    write(root / "a" / "b" / "c" / "profond.txt", b"profond", WINTER)
    (root / "dossier vide").mkdir()
    (root / "imbriqué" / "vide aussi").mkdir(parents=True)


def snapshot(root):
    """Files with contents and times (to the even second below, as the archive
    keeps them), and folders."""
    found = {}
    for path in root.rglob("*"):
        name = path.relative_to(root).as_posix()
        if path.is_dir():
            found[name + "/"] = None
        else:
            mtime = int(path.stat().st_mtime)
            found[name] = (path.read_bytes(), mtime - mtime % 2)
    return found


class BuildRoundTrip(harness.WineTestCase):

    def test_automatic_extraction_of_a_built_tree(self):
        source = self.work / "source"
        make_tree(source)
        expected = snapshot(source)
        for password in [None, "mot de passe"]:
            with self.subTest(password=password):
                destination = self.work / ("dest-secret" if password else "dest")
                shutil.rmtree(destination, ignore_errors=True)
                program = self.work / "!déploiement.exe"
                options = ["--password", password] if password else []
                run([QUILLEX, "build", source, "-o", program, "--stub", STUB, "--auto", "-q",
                     "--dest", windows_path(destination), *options])
                self.driver.start(program)
                if password:
                    asked = self.driver.wait_window(caption="Mot de passe...", seconds=30)
                    self.screenshot("password-question", asked)
                    self.driver.send("type", PASSWORD_EDIT, password)
                    self.driver.send("click", IDOK)
                ended = self.driver.wait_exit(120)
                self.assertEqual(ended["exit"], 0)
                # The dialog opens and closes by itself; no message box comes
                # (the dialog itself may be caught with its caption still
                # empty, or already gone).
                boxes = [w for w in ended["seen"] if "Erreur" in w or "Terminé" in w]
                self.assertEqual(boxes, [])
                self.assertEqual(snapshot(destination), expected)


if __name__ == "__main__":
    harness.main()
