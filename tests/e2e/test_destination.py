"""Where the dialog proposes to extract: a plain folder, the current folder, a
registry value (with and without a subfolder), the temporary folder."""

import subprocess

import harness
from harness import IDCANCEL, WINE64, run, wine_environment

KEY = r"HKCU\Software\Quillex Tests"
DESTINATION_EDIT = 101


def set_registry_value(name, data):
    # Without a closed input, reg waits on the console for good.
    run([WINE64, "reg", "add", KEY, "/v", name, "/d", data, "/f"], env=wine_environment(),
        stdin=subprocess.DEVNULL)


def temp_folder():
    """The temporary folder as the program gets it, with its backslash."""
    echoed = run([WINE64, "cmd", "/c", "echo", "%TEMP%"], env=wine_environment(),
                 stdin=subprocess.DEVNULL).stdout
    return echoed.strip().rstrip("\\") + "\\"


class Destination(harness.WineTestCase):

    @classmethod
    def setUpClass(cls):
        # Before any driver runs: with one running, reg and cmd never return.
        set_registry_value("InstallDir", r"C:\Programmes\Démo;C:\Autre")
        set_registry_value("Root", "D:\\")
        cls.temp = temp_folder()

    def proposed(self, *options):
        """The destination the main dialog shows for a file built with options."""
        self.driver.start(self.sfx(*options))
        self.driver.wait_window()
        controls = self.driver.send("dump")["controls"]
        shown = next(c["text"] for c in controls if c["id"] == DESTINATION_EDIT)
        self.driver.send("click", IDCANCEL)
        self.assertEqual(self.driver.wait_exit()["exit"], 0)
        return shown

    def test_forms(self):
        temp = self.temp
        cases = [
            (r"C:\Mes fichiers\Démo", r"C:\Mes fichiers\Démo"),
            (r"HKCU\Software\Quillex Tests\InstallDir", r"C:\Programmes\Démo"),
            (r"HKEY_CURRENT_USER\Software\Quillex Tests\InstallDir|Données",
             r"C:\Programmes\Démo\Données"),
            (r"HKCU\Software\Quillex Tests\Missing|Données", temp),
            (r"HKCU\Software\Quillex Tests\Root", temp),   # 4 bytes: too short to trust
            (r"HKCR\Software\Quillex Tests\InstallDir", temp),
            (r"HKCU\Données", temp),
            ("><", temp),
            ("> <", "> <"),
        ]
        for destination, expected in cases:
            with self.subTest(destination=destination):
                self.assertEqual(self.proposed("--dest", destination), expected)

    def test_current_folder_without_a_destination(self):
        self.assertEqual(self.proposed(), harness.windows_path(self.work))


if __name__ == "__main__":
    harness.main()
