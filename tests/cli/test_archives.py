#!/usr/bin/env python3
"""quillex list, test and extract on archives made by independent tools (Info-ZIP
zip, 7-Zip, Python's zipfile), plain and turned into self-extracting files; the
extracted trees must equal unzip's."""
import filecmp
import io
import os
import random
import shutil
import subprocess
import tempfile
import unittest
import struct
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(os.path.dirname(HERE))
QUILLEX = os.environ.get("QUILLEX", os.path.join(TOP, "dist", "quillex"))
STUB = os.environ.get("QUILLEX_STUB", os.path.join(TOP, "dist", "stub64.exe"))
SEVEN_ZIP = shutil.which("7zz") or shutil.which("7z")

DONE = "Terminé.: Tous les fichiers ont été extraits."
FAILED = "Erreur..: Le(s) fichier(s) sélectionné(s) n'ont pu être extraits."
BAD_SIZE = "Erreur..: Taille de fichier incorrect, essayez de le télécharger à nouveau."


def quillex(*args):
    run = subprocess.run([QUILLEX, *args], capture_output=True, timeout=120)
    return run.returncode, run.stdout.decode("utf-8"), run.stderr.decode("utf-8")


def make_tree(root):
    """Nested folders, an empty folder, empty and binary files, a text file."""
    rnd = random.Random(1951)
    os.makedirs(os.path.join(root, "docs", "deep", "deeper"))
    os.makedirs(os.path.join(root, "empty folder"))
    with open(os.path.join(root, "readme.txt"), "w") as f:
        f.write("Bonjour\n" * 500)
    open(os.path.join(root, "docs", "empty.dat"), "wb").close()
    with open(os.path.join(root, "docs", "deep", "deeper", "random.bin"), "wb") as f:
        f.write(bytes(rnd.getrandbits(8) for _ in range(70000)))
    with open(os.path.join(root, "docs", "deep", "text.txt"), "wb") as f:
        f.write(b"".join(b"line %d of the text\n" % i for i in range(20000)))


def tree(root):
    """Relative paths of every file and folder under root, with file contents."""
    found = {}
    for folder, dirs, files in os.walk(root):
        for d in dirs:
            found[os.path.relpath(os.path.join(folder, d), root) + "/"] = None
        for name in files:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, root)] = f.read()
    return found


class ArchiveTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="quillex-cli-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def source_tree(self):
        source = self.path("source")
        if not os.path.isdir(source):
            make_tree(source)
        return source

    def zip_with_infozip(self, name, *options):
        source = self.source_tree()
        archive = self.path(name)
        subprocess.run(["zip", "-q", "-r", *options, archive, "."], cwd=source, check=True)
        return archive

    def sfx(self, archive, *options):
        out = archive + ".exe"
        status, _, err = quillex("build", archive, "-o", out, "--stub", STUB, *options)
        self.assertEqual(status, 0, err)
        return out

    def unzip_tree(self, archive, password=None):
        target = self.path("unzipped-" + os.path.basename(archive))
        command = ["unzip", "-q", "-o"] + (["-P", password] if password else []) + [archive, "-d", target]
        subprocess.run(command, check=True)
        return tree(target)

    def extract(self, archive, *options):
        target = self.path("out-" + os.path.basename(archive))
        os.makedirs(target, exist_ok=True)
        status, out, err = quillex("extract", archive, "-d", target, *options)
        return status, err, target

    def assertExtractsLikeUnzip(self, archive, password=None):
        options = ["-p", password] if password else []
        expected = self.unzip_tree(archive, password)
        for candidate in (archive, self.sfx(archive)):
            status, err, target = self.extract(candidate, *options)
            self.assertEqual(status, 0, err)
            self.assertEqual(err.strip().splitlines()[-1], DONE)
            self.assertEqual(tree(target), expected, candidate)
            status, out, err = quillex("test", candidate, *options)
            self.assertEqual((status, out), (0, ""), err)


class RealArchives(ArchiveTest):
    def test_infozip_tree_with_folder_entries_and_extra_fields(self):
        self.assertExtractsLikeUnzip(self.zip_with_infozip("plain.zip"))

    def test_infozip_stored_and_best(self):
        for level in ("-0", "-9"):
            with self.subTest(level=level):
                self.assertExtractsLikeUnzip(self.zip_with_infozip("level%s.zip" % level, level))

    def test_infozip_encrypted(self):
        archive = self.zip_with_infozip("secret.zip", "-P", "mot de passe")
        self.assertExtractsLikeUnzip(archive, password="mot de passe")
        status, err, target = self.extract(archive, "-p", "faux")
        self.assertEqual(status, 1)
        self.assertIn("password", err)
        status, err, target = self.extract(archive)
        self.assertEqual(status, 1)

    @unittest.skipIf(SEVEN_ZIP is None, "7-Zip is not installed")
    def test_seven_zip_deflate(self):
        source = self.source_tree()
        archive = self.path("seven.zip")
        subprocess.run([SEVEN_ZIP, "a", "-tzip", "-mm=Deflate", "-mx=9", archive, "."],
                       cwd=source, check=True, capture_output=True)
        self.assertExtractsLikeUnzip(archive)

    def test_python_zipfile_with_duplicates_and_a_long_comment(self):
        archive = self.path("python.zip")
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("a/", "")
            z.writestr("a/one.txt", "un " * 1000)
            z.writestr("empty", "")
            with self.assertWarns(UserWarning):
                z.writestr("a/one.txt", "again, the second one wins")
            z.comment = b"c" * 65535
        # unzip asks about the duplicate; the later member wins, as it does here
        # once overwriting is allowed.
        expected = {"a/": None, "a/one.txt": b"again, the second one wins", "empty": b""}
        for candidate in (archive, self.sfx(archive)):
            status, err, target = self.extract(candidate, "--overwrite", "always")
            self.assertEqual(status, 0, err)
            self.assertEqual(tree(target), expected)
        status, out, err = quillex("list", archive)
        self.assertEqual(out.splitlines(), ["a/", "a/one.txt", "empty", "a/one.txt"])

    def test_data_descriptors(self):
        # Streaming through a pipe makes zip write data descriptors.
        source = self.source_tree()
        archive = self.path("descriptors.zip")
        with open(os.path.join(source, "readme.txt"), "rb") as data, open(archive, "wb") as out:
            zipping = subprocess.Popen(["zip", "-q", "-fz-", "-", "-"], stdin=data,
                                       stdout=subprocess.PIPE)
            out.write(zipping.communicate()[0])
            self.assertEqual(zipping.returncode, 0)
        with zipfile.ZipFile(archive) as z:
            self.assertTrue(z.infolist()[0].flag_bits & 8)
        self.assertExtractsLikeUnzip(archive)

    def test_python_streamed_members(self):
        # Written to a pipe, zipfile leaves sizes and CRC out of the local
        # headers: only the data descriptor behind each member has them.
        buffer = io.BytesIO()

        class Unseekable(io.RawIOBase):
            def writable(self):
                return True

            def write(self, b):
                return buffer.write(b)

        with zipfile.ZipFile(Unseekable(), "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("first.txt", "premier " * 3000)
            z.writestr("dir/second.bin", bytes(range(256)) * 300)
        archive = self.path("streamed.zip")
        with open(archive, "wb") as f:
            f.write(buffer.getvalue())
        self.assertExtractsLikeUnzip(archive)


class DamagedArchives(ArchiveTest):
    def test_truncated_and_padded_files_fail_the_size_check(self):
        archive = self.zip_with_infozip("whole.zip")
        sfx = self.sfx(archive)
        data = open(sfx, "rb").read()
        for name, content in (("cut.exe", data[:-1]), ("padded.exe", data + b"\0"),
                              ("cut.zip", open(archive, "rb").read()[:-100])):
            with self.subTest(name=name):
                damaged = self.path(name)
                with open(damaged, "wb") as f:
                    f.write(content)
                status, err, target = self.extract(damaged)
                self.assertEqual(status, 1)
                self.assertEqual(err.strip(), BAD_SIZE)
                self.assertEqual(os.listdir(target), [])

    def test_size_check_can_be_switched_off(self):
        archive = self.zip_with_infozip("whole.zip")
        sfx = self.sfx(archive, "--no-size-check")
        damaged = self.path("padded.exe")
        with open(damaged, "wb") as f:
            f.write(open(sfx, "rb").read() + b"padding")
        status, err, target = self.extract(damaged)
        self.assertEqual(status, 0, err)

    def test_unsupported_methods(self):
        makers = [("python-bzip2", lambda a: self.python_zip(a, zipfile.ZIP_BZIP2)),
                  ("python-lzma", lambda a: self.python_zip(a, zipfile.ZIP_LZMA))]
        if SEVEN_ZIP:
            makers.append(("7z-bzip2", lambda a: self.seven_zip(a, "BZip2")))
            makers.append(("7z-lzma", lambda a: self.seven_zip(a, "LZMA")))
        for name, make in makers:
            with self.subTest(maker=name):
                archive = self.path(name + ".zip")
                make(archive)
                status, err, target = self.extract(archive)
                self.assertEqual(status, 1)
                self.assertEqual(err.strip().splitlines(), ["Erreur..: Type de compression inconnu"])
                status, out, err = quillex("test", archive)
                self.assertEqual(status, 1)
                self.assertIn("failed: ", out)

    def python_zip(self, archive, method):
        with zipfile.ZipFile(archive, "w", method) as z:
            z.writestr("packed.txt", "x" * 5000)

    def seven_zip(self, archive, method):
        source = self.path("src-" + method)
        os.makedirs(source)
        with open(os.path.join(source, "packed.txt"), "w") as f:
            f.write("y" * 5000)
        subprocess.run([SEVEN_ZIP, "a", "-tzip", "-mm=" + method, archive, "."],
                       cwd=source, check=True, capture_output=True)

    def test_damaged_member_among_good_ones(self):
        archive = self.path("damaged.zip")
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("good1.txt", "bon " * 2000)
            z.writestr("bad.txt", "mauvais " * 2000)
            z.writestr("good2.txt", "bon aussi " * 2000)
        with zipfile.ZipFile(archive) as z:
            bad = z.getinfo("bad.txt")
            start = bad.header_offset + 30 + len(bad.filename) + len(bad.extra)
        data = bytearray(open(archive, "rb").read())
        data[start + 20] ^= 0x55
        with open(archive, "wb") as f:
            f.write(data)
        status, err, target = self.extract(archive)
        self.assertEqual(status, 1)
        self.assertEqual(err.strip().splitlines(), [FAILED])
        self.assertEqual(open(os.path.join(target, "good1.txt")).read(), "bon " * 2000)
        self.assertEqual(open(os.path.join(target, "good2.txt")).read(), "bon aussi " * 2000)
        status, out, err = quillex("test", archive)
        self.assertEqual((status, out), (1, "failed: bad.txt\n"))

    def test_deflate_bomb_is_checked_in_flat_memory(self):
        # 300 MiB of zeros in a few hundred KiB: decoded through the 32 KiB
        # window whatever its size, so the tool's memory stays small.
        archive = self.path("bomb.zip")
        zeros = zlib.compressobj(9, zlib.DEFLATED, -15)
        chunk = bytes(1 << 20)
        data = b"".join(zeros.compress(chunk) for _ in range(300)) + zeros.flush()
        self.assertLess(len(data), 400_000)
        with zipfile.ZipFile(archive, "w") as z:
            info = zipfile.ZipInfo("zeros.bin")
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, b"")
        # Put the large stream in place of the empty one, with its sizes and CRC.
        crc = 0
        for _ in range(300):
            crc = zlib.crc32(chunk, crc)
        with open(archive, "wb") as f:
            name = b"zeros.bin"
            header = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0x21, crc, len(data),
                                 300 << 20, len(name), 0)
            central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0, 0x21, crc,
                                  len(data), 300 << 20, len(name), 0, 0, 0, 0, 0, 0)
            local = header + name + data
            end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central) + len(name),
                              len(local), 0)
            f.write(local + central + name + end)
        # Waited for by hand, to get this child's own peak memory.
        child = subprocess.Popen([QUILLEX, "test", str(archive)], stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL)
        out = child.stdout.read()
        _, status, usage = os.wait4(child.pid, 0)
        child.stdout.close()
        self.assertEqual((os.waitstatus_to_exitcode(status), out), (0, b""))
        self.assertLess(usage.ru_maxrss, 64 * 1024)   # KiB

    def test_unreadable_and_foreign_files(self):
        status, _, err = quillex("list", self.path("missing.zip"))
        self.assertEqual(status, 2)
        foreign = self.path("foreign.bin")
        with open(foreign, "wb") as f:
            f.write(b"MZ" + bytes(50000))
        status, _, err = quillex("test", foreign)
        self.assertEqual(status, 2)
        self.assertIn("neither", err)


if __name__ == "__main__":
    unittest.main()
