"""`quillmere register` / `unregister` on a fresh prefix: the keys written are the module's
classes and type library, unregistering removes exactly them (also when the library
registered is gone), and the mistakes a person makes fail with their reason."""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

PROGRAM = sys.argv.pop(1)
PROG_IDS = ["quillmere.Administer", "quillmere.WbemProvider"]


def roots(values):
    """The keys written that lie below no other key written."""
    keys = {key for key, _ in values}
    return {key for key in keys if not any(key.startswith(other + "\\") for other in keys)}


class RegisterTest(unittest.TestCase):
    def setUp(self):
        self.prefix = tempfile.mkdtemp(prefix="quillmere-cli-")
        self.addCleanup(shutil.rmtree, self.prefix, ignore_errors=True)

    def run_program(self, *arguments, status=0):
        done = subprocess.run([PROGRAM, *arguments, "--prefix", self.prefix],
                              capture_output=True, text=True)
        self.assertEqual(done.returncode, status, done.stderr)
        return done.stdout, done.stderr

    def register(self, *arguments):
        rows = json.loads(self.run_program("register", "--json", *arguments)[0])
        return {(row["KEY"], row["VALUE"]): row["DATA"] for row in rows}

    def unregister(self):
        return {row["REMOVED"] for row in json.loads(self.run_program("unregister", "--json")[0])}

    def test_the_keys_written_are_read_back_and_unregistering_removes_them(self):
        values = self.register()
        for prog_id in PROG_IDS:
            clsid = values[(f"HKCR\\{prog_id}\\CLSID", "(default)")]
            key = f"HKCR\\CLSID\\{clsid}"
            self.assertEqual(values[(key + "\\VersionIndependentProgID", "(default)")], prog_id)
            self.assertTrue(values[(key + "\\InprocServer32", "(default)")]
                            .endswith("libquillmere_admin.so"))
            library = values[(key + "\\TypeLib", "(default)")]
            self.assertIn((f"HKCR\\TypeLib\\{library}\\1.0", "(default)"), values)
        self.assertEqual(self.unregister(), roots(values))
        _, error = self.run_program("unregister", status=1)
        self.assertEqual(error, "quillmere: the module is not registered\n")

    def test_a_registration_whose_library_is_gone_is_still_removed(self):
        built = next(data for (key, _), data in self.register().items()
                     if key.endswith("InprocServer32") and data.endswith(".so")).replace("\\", "/")
        moved = os.path.join(self.prefix, "moved")
        os.mkdir(moved)
        for file in (built, built[:-3] + ".tlb"):  # the type library lies beside it
            shutil.copy(file, moved)
        values = self.register("--module", os.path.join(moved, os.path.basename(built)))
        shutil.rmtree(moved)
        self.assertEqual(self.unregister(), roots(values))

    def test_the_table_and_the_mistakes(self):
        table, _ = self.run_program("register")
        self.assertEqual(table.splitlines()[0].split(), ["KEY", "VALUE", "DATA"])
        self.assertEqual(len(table.splitlines()), len(self.register()) + 1)
        missing = os.path.join(self.prefix, "missing.so")
        not_a_library = os.path.join(self.prefix, "text.so")
        with open(not_a_library, "w") as text:
            text.write("not a library\n")
        cases = [  # (arguments, exit status, start of standard error)
            (["register", "--module", missing], 1, f"quillmere: no module library at {missing}\n"),
            (["register", "--module", not_a_library], 1, f"quillmere: cannot load {not_a_library}"),
            (["register", "--modul", "x"], 109, "The following arguments were not expected"),
            (["registre"], 106, "A subcommand is required"),
        ]
        for arguments, status, reason in cases:
            with self.subTest(arguments=arguments):
                _, error = self.run_program(*arguments, status=status)
                self.assertTrue(error.startswith(reason), error)


if __name__ == "__main__":
    unittest.main()
