#!/usr/bin/env python3
"""quillex build: real folders through build and extract, ZIP archives made by
other tools, the refusals, the options and what `info` prints back. Every
self-extracting file made here must pass `unzip -t` and `7z t` too."""
import os
import shutil
import stat
import struct
import subprocess
import tempfile
import unittest
import zipfile
from pathlib import Path

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(os.path.dirname(HERE))
DIST = os.environ.get("QUILLEX_DIST", os.path.join(TOP, "dist"))
QUILLEX = os.path.join(DIST, "quillex")
STUB32 = os.path.join(DIST, "stub32.exe")
STUB64 = os.path.join(DIST, "stub64.exe")
SEVEN_ZIP = shutil.which("7zz") or shutil.which("7z")
STUB_SIZE = 40448

# A time zone with summer time, for the tool and for this test alike: the
# archive holds local times, and both ends must agree on them.
ZONE = "CET-1CEST,M3.5.0,M10.5.0/3"
os.environ["TZ"] = ZONE

SUMMER = 1720960497   # 2024-07-14 14:34:57 local, an odd second
WINTER = 1705235696   # 2024-01-14 13:34:56 local


def quillex(*args):
    run = subprocess.run([QUILLEX, *map(str, args)], capture_output=True, timeout=300)
    return run.returncode, run.stdout.decode("utf-8"), run.stderr.decode("utf-8")


def write(path, data=b"", mtime=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data.encode("utf-8") if isinstance(data, str) else data)
    if mtime is not None:
        os.utime(path, (mtime, mtime))


def text(size):
    line = b"Portez ce vieux whisky au juge blond qui fume, ligne %d.\n"
    out = bytearray()
    i = 0
    while len(out) < size:
        out += line % i
        i += 1
    return bytes(out[:size])


def make_tree(root):
    """Nested folders, empty files and folders, accents and spaces in names,
    an incompressible and a compressible file of several MiB."""
    write(os.path.join(root, "lisez-moi.txt"), "Bonjour\n" * 300, SUMMER)
    write(os.path.join(root, "vide.dat"), b"", WINTER)
    write(os.path.join(root, "Été à la plage", "Crème brûlée.txt"), "recette\n", WINTER + 1)
    write(os.path.join(root, "Été à la plage", "œuvre €.txt"), "œuvre\n", SUMMER)
    write(os.path.join(root, "dossier avec espaces", "sous dossier", "bruit.bin"),
          os.urandom(3 * 1024 * 1024), SUMMER + 2)
    write(os.path.join(root, "dossier avec espaces", "sous dossier", "texte.txt"),
          text(5 * 1024 * 1024), 1000000001)
    os.makedirs(os.path.join(root, "dossier vide"))
    os.makedirs(os.path.join(root, "imbriqué", "vide aussi"))
    write(os.path.join(root, "a", "b", "c", "d", "profond.txt"), "profond", WINTER)


def snapshot(root):
    """Every file (contents and modification time) and folder under root."""
    found = {}
    for folder, dirs, files in os.walk(root):
        for d in dirs:
            found[os.path.relpath(os.path.join(folder, d), root) + "/"] = None
        for name in files:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, root)] = (f.read(), int(os.stat(path).st_mtime))
    return found


def dos_rounded(tree):
    """The tree as an extraction gives it back: times to the even second below."""
    return {name: None if entry is None else (entry[0], entry[1] - entry[1] % 2)
            for name, entry in tree.items()}


def contents(tree):
    return {name: entry and entry[0] for name, entry in tree.items()}


def local_headers(path):
    """(name, flags, method, crc, compressed size, size) of every local header,
    walked the way the stub walks them: from the first one on, header after
    header, until something else comes."""
    data = Path(path).read_bytes()
    at = STUB_SIZE + struct.unpack_from("<H", data, STUB_SIZE + 6)[0]
    found = []
    while data[at:at + 4] == b"PK\x03\x04":
        flags, method, _, crc, csize, size, nlen, elen = struct.unpack_from("<HHIIIIHH", data, at + 6)
        found.append((data[at + 30:at + 30 + nlen], flags, method, crc, csize, size))
        at += 30 + nlen + elen + csize
    return found


class BuildTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="quillex-build-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def build(self, *args, out=None, expect=0):
        out = out or self.path("out.exe")
        status, stdout, err = quillex("build", *args, "-o", out, "--stub", STUB32)
        self.assertEqual(status, expect, err)
        return out, err

    def assertOtherToolsAccept(self, exe, password=None):
        # The end user types the password in Windows-1252, and so it is
        # stored; unzip takes the bytes it is given.
        key = [b"-P", password.encode("cp1252")] if password else []
        run = subprocess.run([b"unzip", b"-t"] + key + [exe.encode()], capture_output=True)
        out = run.stdout.decode("utf-8", "replace") + run.stderr.decode("utf-8", "replace")
        self.assertEqual(run.returncode, 0, out)
        self.assertIn("No errors detected", out)
        if SEVEN_ZIP and (password or "").isascii():
            run = subprocess.run([SEVEN_ZIP, "t", "-p" + (password or "")] + [exe],
                                 capture_output=True, text=True, errors="replace")
            self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
            self.assertIn("Everything is Ok", run.stdout)

    def extract(self, exe, *options):
        target = tempfile.mkdtemp(dir=self.dir, prefix="extracted-")
        status, _, err = quillex("extract", exe, "-d", target, *options)
        self.assertEqual(status, 0, err)
        return target


class RoundTrips(BuildTest):
    def test_real_tree_comes_back_whole(self):
        """Contents, names, empty files and folders, and times to the even
        second, at every level and with encryption; other ZIP tools agree."""
        source = self.path("source")
        make_tree(source)
        expected = dos_rounded(snapshot(source))
        for options, password in [((), None), (("--level", "0"), None), (("--level", "1"), None),
                                  (("--password", "mot de passe secret"), "mot de passe secret")]:
            with self.subTest(options=options):
                exe, err = self.build(source, *options)
                self.assertOtherToolsAccept(exe, password)
                target = self.extract(exe, *(("-p", password) if password else ()))
                self.assertEqual(snapshot(target), expected)
                # Other tools see the same names and contents.
                unzipped = self.path("unzipped")
                shutil.rmtree(unzipped, ignore_errors=True)
                subprocess.run(["unzip", "-q"] + (["-P", password] if password else []) +
                               [exe, "-d", unzipped], check=True, capture_output=True)
                self.assertEqual(contents(snapshot(unzipped)), contents(expected))
                if password:
                    self.assertIn("weak", err)
                    status, _, err = quillex("test", exe, "-p", "mauvais")
                    self.assertEqual(status, 1)

    def test_local_headers_carry_sizes_and_crc_and_the_right_method(self):
        source = self.path("source")
        write(os.path.join(source, "noise.bin"), os.urandom(200000))
        write(os.path.join(source, "prose.txt"), text(200000))
        write(os.path.join(source, "empty"), b"")
        os.makedirs(os.path.join(source, "folder"))
        for options, encrypted in [((), False), (("--password", "pw"), True)]:
            with self.subTest(encrypted=encrypted):
                exe, _ = self.build(source, *options)
                headers = {h[0]: h for h in local_headers(exe)}
                self.assertEqual(sorted(headers), [b"empty", b"folder/", b"noise.bin", b"prose.txt"])
                with zipfile.ZipFile(exe) as z:
                    for info in z.infolist():
                        name, flags, method, crc, csize, size = headers[info.filename.encode("cp1252")]
                        self.assertEqual(flags & 8, 0, "no data descriptor")
                        self.assertEqual((crc, size), (info.CRC, info.file_size))
                        self.assertEqual(csize, info.compress_size)
                        folder = name.endswith(b"/")
                        self.assertEqual(bool(flags & 1), encrypted and not folder, name)
                        self.assertEqual(method, 8 if name == b"prose.txt" else 0, name)
                        if name == b"noise.bin":
                            self.assertEqual(csize, size + (12 if encrypted else 0))

    def test_several_inputs_sorted_and_reproducible(self):
        """A file lands under its own name, a folder's contents at the top; the
        members come sorted, and the same inputs give the same bytes."""
        write(self.path("in", "z.txt"), "z", SUMMER)
        write(self.path("in", "sub", "b.txt"), "b", SUMMER)
        write(self.path("lone", "A.txt"), "a", SUMMER)
        first, _ = self.build(self.path("in"), self.path("lone", "A.txt"), out=self.path("1.exe"))
        second, _ = self.build(self.path("in"), self.path("lone", "A.txt"), out=self.path("2.exe"))
        status, listing, _ = quillex("list", first)
        self.assertEqual(listing.splitlines(), ["A.txt", "sub/b.txt", "z.txt"])
        self.assertEqual(Path(first).read_bytes(), Path(second).read_bytes())

    def test_output_inside_the_packed_folder_is_left_out(self):
        source = self.path("source")
        write(os.path.join(source, "a.txt"), "a")
        out = os.path.join(source, "setup.exe")
        for attempt in range(2):   # the second build finds the first one's output there
            self.build(source, out=out)
            status, listing, _ = quillex("list", out)
            self.assertEqual(listing.splitlines(), ["a.txt"], attempt)


class Refusals(BuildTest):
    def test_inputs_the_end_user_could_not_get_back(self):
        """Each is refused with the file named, and leaves no output behind;
        an older output of the same name stays as it was."""
        def fifo(root):
            os.mkfifo(os.path.join(root, "pipe"))

        def loop(root):
            os.makedirs(os.path.join(root, "d"))
            os.symlink("..", os.path.join(root, "d", "up"))

        def python_zip(name, method=zipfile.ZIP_DEFLATED):
            def make(root):
                with zipfile.ZipFile(os.path.join(root, "in.zip"), "w", method) as z:
                    z.writestr(name, "x" * 3000)
            return make

        def damaged_zip(root):
            archive = os.path.join(root, "in.zip")
            with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
                z.writestr("good.txt", "bon " * 2000)
                z.writestr("bad.txt", "mauvais " * 2000)
            with zipfile.ZipFile(archive) as z:
                bad = z.getinfo("bad.txt")
                at = bad.header_offset + 30 + len(bad.filename) + 20
            data = bytearray(Path(archive).read_bytes())
            data[at] ^= 0x55
            Path(archive).write_bytes(data)

        cases = [
            # what, prepare(root), message fragments
            ("a name beyond Windows-1252", lambda r: write(os.path.join(r, "中文.txt"), "x"),
             ["中文.txt", "Windows-1252"]),
            ("a character Windows refuses", lambda r: write(os.path.join(r, "quoi?.txt"), "x"),
             ["quoi?.txt", "\"?\""]),
            ("a device name", lambda r: write(os.path.join(r, "sub", "CON.txt"), "x"),
             ["CON.txt", "device"]),
            ("a trailing dot", lambda r: write(os.path.join(r, "fin."), "x"), ["fin.", "dot"]),
            ("a backslash", lambda r: write(os.path.join(r, "a\\b"), "x"), ["a\\b", "\"\\\""]),
            ("names equal but for case", lambda r: (write(os.path.join(r, "Lisez.txt"), "1"),
                                                    write(os.path.join(r, "LISEZ.TXT"), "2")),
             ["Lisez.txt", "LISEZ.TXT", "same file"]),
            ("a file and a folder of one name", lambda r: (write(os.path.join(r, "doc"), "1"),
                                                           write(os.path.join(r, "DOC", "x"), "2")),
             ["doc", "DOC", "folder"]),
            ("a pipe", fifo, ["pipe", "not a regular file"]),
            ("a dangling link", lambda r: os.symlink("nowhere", os.path.join(r, "lost")),
             ["lost", "leads nowhere"]),
            ("a link that loops", loop, ["up", "leads back"]),
            ("nothing at all", lambda r: None, ["nothing to pack"]),
            ("a file too large", lambda r: (write(os.path.join(r, "huge.bin")),   # sparse
                                            os.truncate(os.path.join(r, "huge.bin"), 5 << 29)),
             ["huge.bin", "2 GiB"]),
            ("a ZIP member compressed with bzip2", python_zip("packed.txt", zipfile.ZIP_BZIP2),
             ["packed.txt", "method 12", "bzip2"]),
            ("a ZIP member outside the destination", python_zip("../evil.txt"), ["../evil.txt"]),
            ("a ZIP member Windows cannot create", python_zip("a/b:c.txt"), ["a/b:c.txt", "\":\""]),
            ("a damaged ZIP member", damaged_zip, ["bad.txt", "does not extract correctly"]),
            ("a .zip that is no archive", lambda r: write(os.path.join(r, "in.zip"), "texte"),
             ["in.zip", "not a ZIP archive"]),
        ]
        for what, prepare, fragments in cases:
            with self.subTest(what):
                root = tempfile.mkdtemp(dir=self.dir)
                prepare(root)
                archive = os.path.join(root, "in.zip")
                source = archive if os.path.exists(archive) else root
                out = self.path("kept.exe")
                write(out, b"an older build")
                _, err = self.build(source, out=out, expect=1)
                for fragment in fragments:
                    self.assertIn(fragment, err)
                self.assertEqual(Path(out).read_bytes(), b"an older build")
                self.assertEqual([f for f in os.listdir(self.dir) if f.startswith("kept.exe.")], [])

    def test_the_output_may_not_replace_an_input(self):
        write(self.path("a.zip"), b"")
        with zipfile.ZipFile(self.path("a.zip"), "w") as z:
            z.writestr("a.txt", "a")
        before = Path(self.path("a.zip")).read_bytes()
        _, err = self.build(self.path("a.zip"), out=self.path("a.zip"), expect=1)
        self.assertIn("one of the inputs", err)
        self.assertEqual(Path(self.path("a.zip")).read_bytes(), before)

    def test_usage_errors(self):
        write(self.path("a.txt"), "a")
        for args, fragment in [
            (["--level", "13"], "--level"),
            (["--password", "x" * 80], "79"),
            (["--password", "中"], "Windows-1252"),
            (["--caption", "é" * 256], "255"),
            (["--run", "→"], "Windows-1252"),
            (["--message-type", "yesno"], "--message"),
            (["--overwrite", "sometimes"], "always, never or confirm"),
            (["--bogus"], "unknown option"),
        ]:
            with self.subTest(args=args):
                _, err = self.build(self.path("a.txt"), *args, expect=2)
                self.assertIn(fragment, err)
                self.assertFalse(os.path.exists(self.path("out.exe")))


class ZipInputs(BuildTest):
    """Archives made by other tools: shipped as they are when the stub reads
    them so, rewritten when not; the end user gets what unzip gets."""

    def source(self):
        source = self.path("source")
        if not os.path.isdir(source):
            write(os.path.join(source, "lisez-moi.txt"), "Bonjour\n" * 300)
            write(os.path.join(source, "docs", "Été.txt"), text(30000))
            write(os.path.join(source, "docs", "vide"), b"")
        return source

    def infozip(self, name, *options):
        archive = self.path(name)
        subprocess.run(["zip", "-q", "-r", *options, archive, "."], cwd=self.source(), check=True)
        return archive

    def unzipped(self, archive, password=None):
        target = tempfile.mkdtemp(dir=self.dir, prefix="unzipped-")
        run = subprocess.run(["unzip", "-q", "-o"] + (["-P", password] if password else []) +
                             [archive, "-d", target], capture_output=True)
        self.assertIn(run.returncode, (0, 1), run.stderr)   # 1: warnings, such as bytes in front
        return contents(snapshot(target))

    def test_archives_that_need_rewriting(self):
        def streamed_zip64(name):
            archive = self.path(name)
            with open(os.path.join(self.source(), "lisez-moi.txt"), "rb") as data, \
                    open(archive, "wb") as out:
                subprocess.run(["zip", "-q", "-", "-"], stdin=data, stdout=out, check=True)
            return archive

        def python_utf8(name):
            archive = self.path(name)
            with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
                z.writestr("café/œuvre €.txt", "œuvre " * 500)
                z.writestr("plain.txt", "plain")
            return archive

        def junk_in_front(name):
            archive = self.infozip("plain-for-junk.zip")
            data = Path(archive).read_bytes()
            Path(self.path(name)).write_bytes(b"junk" * 100 + data)
            return self.path(name)

        def seven_zip(name):
            archive = self.path(name)
            subprocess.run([SEVEN_ZIP, "a", "-tzip", "-mx=9", archive, "."], cwd=self.source(),
                           check=True, capture_output=True)
            return archive

        cases = [
            # what, make(name), password, reason in the note
            ("data descriptors", lambda n: self.infozip(n, "-fd"), None, "data descriptors"),
            ("encrypted with data descriptors", lambda n: self.infozip(n, "-fd", "-P", "secret"),
             "secret", "data descriptors"),
            ("Zip64 from a pipe", streamed_zip64, None, "Zip64"),
            ("UTF-8 names", python_utf8, None, "Windows-1252"),
            ("bytes in front", junk_in_front, None, "in front"),
        ]
        if SEVEN_ZIP:
            cases.append(("7-Zip names", seven_zip, None, "Windows-1252"))
        for what, make, password, reason in cases:
            with self.subTest(what):
                archive = make(what.replace(" ", "-") + ".zip")
                options = ("--password", password) if password else ()
                exe, err = self.build(archive, *options)
                self.assertIn("rewritten", err)
                self.assertIn(reason, err)
                self.assertOtherToolsAccept(exe, password)
                target = self.extract(exe, *(("-p", password) if password else ()))
                got = contents(snapshot(target))
                self.assertEqual(got, self.unzipped(archive, password))

    def test_a_plain_archive_is_shipped_byte_for_byte(self):
        ascii_source = self.path("ascii")
        write(os.path.join(ascii_source, "a.txt"), text(20000))
        write(os.path.join(ascii_source, "sub", "b.txt"), "b")
        archive = self.path("plain.zip")
        subprocess.run(["zip", "-q", "-r", archive, "."], cwd=ascii_source, check=True)
        exe, err = self.build(archive)
        self.assertNotIn("rewritten", err)
        data = Path(exe).read_bytes()
        block = struct.unpack_from("<H", data, STUB_SIZE + 6)[0]
        original = Path(archive).read_bytes()
        shipped = data[STUB_SIZE + block:]
        self.assertEqual(len(shipped), len(original))
        # Only the offsets of the central directory and end record differ.
        differing = sum(a != b for a, b in zip(shipped, original))
        self.assertLess(differing, 4 * (len(zipfile.ZipFile(archive).infolist()) + 1) + 1)
        self.assertOtherToolsAccept(exe)

    def test_password_encrypts_an_archive_s_members(self):
        archive = self.infozip("plain.zip")
        exe, err = self.build(archive, "--password", "sésame")
        self.assertIn("weak", err)
        self.assertOtherToolsAccept(exe, "sésame")
        status, _, _ = quillex("test", exe)
        self.assertEqual(status, 1)
        target = self.extract(exe, "-p", "sésame")
        got = contents(snapshot(target))
        self.assertEqual(got, self.unzipped(archive))

    def test_encrypted_archive_without_its_password_is_shipped_unchecked(self):
        archive = self.infozip("secret.zip", "-P", "secret")
        exe, err = self.build(archive)
        self.assertIn("cannot be checked without their password", err)
        target = self.extract(exe, "-p", "secret")
        got = contents(snapshot(target))
        self.assertEqual(got, self.unzipped(archive, "secret"))
        _, err = self.build(archive, "--password", "faux", expect=1)
        self.assertIn("password does not open", err)

    def test_a_zip_by_content_or_as_a_file(self):
        archive = self.infozip("bundle.zip")
        disguised = self.path("bundle.docx")
        shutil.copy(archive, disguised)
        exe, err = self.build(disguised)
        self.assertIn("is a ZIP archive", err)
        status, listing, _ = quillex("list", exe)
        self.assertIn("lisez-moi.txt", listing.splitlines())
        exe, err = self.build(disguised, "--as-file")
        status, listing, _ = quillex("list", exe)
        self.assertEqual(listing.splitlines(), ["bundle.docx"])


class Options(BuildTest):
    SWITCHES = ["hide-run-option", "no-member-choice", "hide-overwrite", "no-size-check", "auto",
                "no-done-message"]

    def info(self, exe):
        status, out, err = quillex("info", exe)
        self.assertEqual(status, 0, err)
        return dict(line.split(": ", 1) if ": " in line else (line.rstrip(":"), "")
                    for line in out.splitlines())

    def test_info_prints_back_what_build_was_told(self):
        write(self.path("a.txt"), "a")
        cases = [
            ([], {"caption": "", "dest": "", "run": "", "message": "", "message-type": "ok",
                  "flags": "0x03", "overwrite": "confirm", **{s: "no" for s in self.SWITCHES}}),
            (["--caption", "Démo d'été", "--dest", r"HKLM\Software\Démo\Dossier|Données",
              "--run", "><setup.exe|/S", "--message", "Prêt ?", "--message-type", "yesno"],
             {"caption": "Démo d'été", "dest": r"HKLM\Software\Démo\Dossier|Données",
              "run": "><setup.exe|/S", "message": "Prêt ?", "message-type": "yesno"}),
            (["--dest", "><", "--message", "Info", "--message-type", "okcancel"],
             {"dest": "><", "message-type": "okcancel"}),
            (["--overwrite", "always"], {"overwrite": "always", "flags": "0x0B"}),
            (["--overwrite", "never", "--hide-overwrite"],
             {"overwrite": "never", "hide-overwrite": "yes", "flags": "0x17"}),
            (["--flags", "0x18"], {"overwrite": "confirm", "hide-run-option": "yes",
                                   "no-member-choice": "yes"}),
            (["--flags", "0", "--overwrite", "confirm", "--auto"], {"flags": "0x40", "auto": "yes"}),
        ] + [(["--" + s], {s: "yes", **{o: "no" for o in self.SWITCHES if o != s}})
             for s in self.SWITCHES]
        for args, expected in cases:
            with self.subTest(args=args):
                exe, _ = self.build(self.path("a.txt"), *args)
                shown = self.info(exe)
                for key, value in expected.items():
                    self.assertEqual(shown[key], value, key)

    def test_every_option_info_prints_is_a_documented_switch(self):
        write(self.path("a.txt"), "a")
        exe, _ = self.build(self.path("a.txt"))
        status, help_text, _ = quillex("build", "--help")
        self.assertEqual(status, 0)
        for key in self.info(exe):
            if key == "archive-offset":
                continue
            option = "--" + key
            with self.subTest(option=option):
                self.assertIn("  " + option + " ", help_text.replace("\n", " \n"))

    def test_stub_choice(self):
        write(self.path("a.txt"), "a")
        for choice, stub in [(None, STUB32), ("32", STUB32), ("64", STUB64), (STUB64, STUB64)]:
            with self.subTest(stub=choice):
                out = self.path("s.exe")
                args = ["build", self.path("a.txt"), "-o", out] + (["--stub", choice] if choice else [])
                status, _, err = quillex(*args)
                self.assertEqual(status, 0, err)
                self.assertEqual(Path(out).read_bytes()[:STUB_SIZE], Path(stub).read_bytes())
        status, _, err = quillex("build", self.path("a.txt"), "-o", self.path("s.exe"),
                                 "--stub", self.path("a.txt"))
        self.assertEqual(status, 1)
        self.assertIn("40448", err)

    def test_automatic_mode_name_rule_warning(self):
        write(self.path("a.txt"), "a")
        for name, warned in [("out.exe", True), ("Setup.exe", False), ("SETUP.EXE", False),
                             ("!go.exe", False), ("MySetup.exe", True)]:
            with self.subTest(name=name):
                _, err = self.build(self.path("a.txt"), "--auto", out=self.path(name))
                self.assertEqual("--auto works only" in err, warned, err)

    def test_quiet_keeps_warnings_only(self):
        write(self.path("a.txt"), "a")
        _, err = self.build(self.path("a.txt"), "-q")
        self.assertEqual(err, "")
        _, err = self.build(self.path("a.txt"), "-q", "--password", "pw")
        self.assertEqual(err.count("\n"), 1)
        self.assertIn("warning", err)


if __name__ == "__main__":
    unittest.main()
