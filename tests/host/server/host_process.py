"""`quillmere serve` started on a free port in a fresh prefix, for the end-to-end tests."""
import os
import re
import shutil
import signal
import subprocess
import tempfile


class HostProcess:
    def __init__(self, program, *arguments):
        self.program = program
        self.prefix = tempfile.mkdtemp(prefix="quillmere-host-")
        self.env = dict(os.environ, QUILLMERE_PREFIX=self.prefix)
        self.log_path = os.path.join(self.prefix, "serve.log")
        with open(self.log_path, "w") as log:
            self.process = subprocess.Popen(
                [program, "serve", "--listen", "127.0.0.1:0", *arguments],
                stdout=subprocess.PIPE, stderr=log, env=self.env, text=True)
        self.banner = []
        for line in self.process.stdout:
            self.banner.append(line.rstrip("\n"))
            if line.startswith("Listening on "):
                break
        text = "\n".join(self.banner)
        listening = re.search(r"^Listening on (http://127\.0\.0\.1:(\d+)/soap)$", text, re.M)
        assert listening, "no URL in the banner:\n" + text + self.log()
        self.url, self.port = listening.group(1), int(listening.group(2))
        password = re.search(r'^Created the administrator "admin" with the password: (\S+)$',
                             text, re.M)
        self.password = password.group(1) if password else None

    def users(self, *arguments, password=None):
        """Runs `quillmere users ...` on the same prefix."""
        return subprocess.run([self.program, "users", *arguments], env=self.env, text=True,
                              input=(password + "\n") if password else "", capture_output=True,
                              check=True).stdout

    def stop(self, timeout=60):
        """SIGTERM, then the exit code."""
        self.process.send_signal(signal.SIGTERM)
        code = self.process.wait(timeout)
        self.process.stdout.close()
        return code

    def log(self):
        with open(self.log_path) as log:
            return log.read()

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.prefix, ignore_errors=True)
