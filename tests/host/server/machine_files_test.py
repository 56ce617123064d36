"""`quillmere serve` on a fresh prefix, under the usual umask, with every report channel on:
nothing it or the commands leave in the machine is readable by the group or others."""
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from host_process import HostProcess  # noqa: E402
from raw_http_test import call, logon  # noqa: E402

PROGRAM = sys.argv[1]


class MachineFiles(unittest.TestCase):
    def setUp(self):
        self.umask = os.umask(0o022)
        self.root = tempfile.mkdtemp(prefix="quillmere-files-")
        self.prefix = os.path.join(self.root, "machine")
        self.env = dict(os.environ, QUILLMERE_PREFIX=self.prefix)

    def tearDown(self):
        os.umask(self.umask)
        shutil.rmtree(self.root, ignore_errors=True)

    def cli(self, *arguments):
        subprocess.run([PROGRAM, *arguments], env=self.env, check=True, timeout=120,
                       capture_output=True)

    def serve(self, work):
        host = HostProcess(PROGRAM, "--prefix", self.prefix)
        try:
            work(host)
            self.assertEqual(host.stop(), 0, host.log())
        finally:
            host.close()

    def test_nothing_in_the_machine_is_readable_by_others(self):
        first = {}
        self.serve(lambda host: first.update(password=host.password))  # the machine, afresh
        self.cli("queue", "install")
        for name, value in (("ReportingLevel", "15"), ("LogToMSMQ", "true"),
                            ("LogUserActivity", "true")):
            self.cli("settings", "set", name, value)

        def calls(host):
            host.password = first["password"]
            token = logon(host)
            for method in ("UserList", "AdminSessionList", "NoSuchMethod"):
                call(host.port, "Administrator", method,
                     f"<IdentityToken>{token}</IdentityToken>")
            host.users("add", "reader", password="a long enough passphrase")
        self.serve(calls)

        written = set()
        open_to_others = []
        for folder, folders, files in os.walk(self.prefix):
            for name in folders + files:
                path = os.path.join(folder, name)
                mode = stat.S_IMODE(os.lstat(path).st_mode)
                written.add(os.path.relpath(path, self.prefix))
                if mode & 0o077 or (name in folders and mode != 0o700):
                    open_to_others.append(f"{path} {mode:o}")
        self.assertEqual(stat.S_IMODE(os.stat(self.prefix).st_mode), 0o700)
        self.assertEqual(open_to_others, [])
        for expected in ("host/users.db", "registry/machine.reg", "registry/machine.lock",
                         "wmi/repository.db", "eventlog/Application.log", "msmq/queues.db"):
            self.assertIn(expected, written)
        logs = os.path.join(self.prefix, "windows", "system32", "LogFiles", "Quillmere")
        self.assertTrue(os.listdir(logs), "no report or activity log was written")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[2:])  # the test cases to run, or all
