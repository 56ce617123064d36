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
        self.banner = ""
        for line in self.process.stdout:  # the banner ends with the URL
            self.banner += line
            if line.startswith("Listening on "):
                break
        listening = re.search(r"^Listening on (https?://127\.0\.0\.1:(\d+)/soap)$", self.banner,
                              re.M)
        assert listening, self.banner + self.log()
        self.url, self.port = listening.group(1), int(listening.group(2))
        password = re.search(r'^Created the administrator "admin" with the password: (\S+)$',
                             self.banner, re.M)
        self.password = password and password.group(1)

    def users(self, *arguments, password):
        """`quillmere users ...` on the same prefix, the password on standard input."""
        subprocess.run([self.program, "users", *arguments], env=self.env, text=True,
                       input=password + "\n", check=True)

    def stop(self):
        """SIGTERM; the exit code."""
        self.process.send_signal(signal.SIGTERM)
        return self.process.wait(60)

    def log(self):
        with open(self.log_path) as log:
            return log.read()

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        self.process.stdout.close()
        shutil.rmtree(self.prefix, ignore_errors=True)
