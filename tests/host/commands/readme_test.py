"""The README's first run and tour, as a new administrator types them: every fenced sh and
python block in order, in a fresh home folder, with the build given installed by the
README's own ./scripts/serve. Blocks that serve or follow keep running in the background;
a later ./scripts/serve is the restart the README asks for (Ctrl-C, then run again).
Run in a network namespace of its own where the system allows one, so the README's port
8080 is free even while a server of the person running the tests holds it."""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

SOURCE, BUILD = sys.argv[1], sys.argv[2]
PYTHON = "/usr/bin/python3"  # Debian's, with python3-zeep
NOT_RUN = {"./scripts/check\n"}  # the command that runs this test
SETTLE_SECONDS = 60  # how long a follower may take to show a call made after it started


def fenced_blocks():
    with open(os.path.join(SOURCE, "README.md")) as readme:
        return re.findall(r"^```(sh|python)\n(.*?)^```$", readme.read(), re.M | re.S)


class ReadmeTour(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="quillmere-readme-")
        self.addCleanup(shutil.rmtree, self.home, ignore_errors=True)
        self.env = {k: v for k, v in os.environ.items() if not k.startswith("QUILLMERE_")}
        # A login shell on Debian has ~/.local/bin on its PATH once it exists.
        self.env.update(HOME=self.home, QUILLMERE_BUILD_DIR=BUILD,
                        PATH=f"{self.home}/.local/bin:/usr/bin:/bin:{os.environ['PATH']}")
        self.background = []
        self.addCleanup(self.stop_all)

    def start(self, code):
        """No terminal: the password prompts read standard input, as in a pipe."""
        output = open(os.path.join(self.home, f"block{len(self.background)}.out"), "w+")
        process = subprocess.Popen(["bash", "-e", "-c", code], cwd=SOURCE, env=self.env,
                                   stdin=subprocess.DEVNULL, stdout=output,
                                   stderr=subprocess.STDOUT, start_new_session=True)
        self.background.append((process, output))
        return process, output

    def serve(self, code, server):
        if server:
            os.killpg(server[0].pid, signal.SIGINT)
            self.assertEqual(server[0].wait(120), 0, self.text(server[1]))
        server = self.start(code)
        while "Listening on http://127.0.0.1:8080/soap\n" not in self.text(server[1]):
            self.assertIsNone(server[0].poll(), self.text(server[1]))
            time.sleep(0.2)
        return server

    def run_block(self, language, code, password):
        command = [PYTHON, "-c", code] if language == "python" else ["bash", "-e", "-c", code]
        done = subprocess.run(command, cwd=SOURCE, env=self.env, input=password + "\n",
                              capture_output=True, text=True, timeout=600,
                              start_new_session=True)
        self.assertEqual(done.returncode, 0, code + done.stdout + done.stderr)
        self.assertNotIn("Fault", done.stdout, code)

    def test_every_block_runs_as_written(self):
        server, password, followers, method = None, None, [], None
        for language, code in fenced_blocks():
            if code in NOT_RUN:
                continue
            if code.startswith("./scripts/serve"):
                server = self.serve(code, server)
                # A password on the first run only.
                shown = re.search(r"the password: (\S+)$", self.text(server[1]), re.M)
                self.assertEqual(shown is None, password is not None, self.text(server[1]))
                password = password or shown.group(1)
            elif "--follow" in code:
                followers.append(self.start(code))
            else:
                self.run_block(language, code, password)
                called = re.search(r"^quillmere call \S+ (\S+)", code, re.M)
                method = called.group(1) if called and followers else method
        self.assertIsNotNone(server, "the README starts no server")
        # The reports of the last call made while they follow: its method names their source.
        self.assertTrue(method or not followers, "no call is made while the followers run")
        deadline = time.monotonic() + SETTLE_SECONDS
        for process, output in followers:
            while method not in self.text(output) and time.monotonic() < deadline:
                time.sleep(0.2)
            self.assertIn(method, self.text(output), process.args)
            self.assertIsNone(process.poll(), self.text(output))
        os.killpg(server[0].pid, signal.SIGINT)
        self.assertEqual(server[0].wait(120), 0, self.text(server[1]))

    @staticmethod
    def text(output):
        output.flush()
        with open(output.name) as again:
            return again.read()

    def stop_all(self):
        for process, output in self.background:
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
            output.close()


def bring_loopback_up():
    import fcntl
    import socket
    import struct
    get_flags, set_flags, up = 0x8913, 0x8914, 0x1
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        request = struct.pack("16sh", b"lo", 0)
        flags = struct.unpack("16sh", fcntl.ioctl(s, get_flags, request))[1]
        fcntl.ioctl(s, set_flags, struct.pack("16sh", b"lo", flags | up))


if __name__ == "__main__":
    if os.environ.get("QUILLMERE_README_NETNS") == "1":
        bring_loopback_up()
    elif subprocess.run(["unshare", "--net", "--map-root-user", "true"],
                        capture_output=True).returncode == 0:
        sys.exit(subprocess.run(["unshare", "--net", "--map-root-user", PYTHON, *sys.argv],
                                env=dict(os.environ, QUILLMERE_README_NETNS="1")).returncode)
    unittest.main(argv=sys.argv[:1] + sys.argv[3:])  # the test cases to run, or all
