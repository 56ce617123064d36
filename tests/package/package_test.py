"""The Debian package on this machine (root, a throwaway machine: CI's, or a container):
built by scripts/package, its files and lintian, the unit verified, installed with dpkg,
the unit's command run as the user quillmere, /health, /metrics through promtool, a logon
with the password from the root-only file, a reinstall that keeps a changed setting, and
a purge that leaves nothing behind."""
import json
import os
import pwd
import re
import shlex
import shutil
import stat
import subprocess
import sys
import unittest
import urllib.request

SOURCE = sys.argv[1]
STATE = "/var/lib/quillmere"
CONFIG = "/etc/quillmere/serve.conf"
UNIT = "/lib/systemd/system/quillmere.service"
FILES = {"./usr/bin/quillmere", "./usr/lib/quillmere/libquillmere_admin.so",
         "./usr/lib/quillmere/libquillmere_admin.tlb", "./usr/lib/quillmere/libwinport.so",
         "./usr/lib/quillmere/libmqrt.so", "./usr/share/quillmere/quillmere.mof",
         "./usr/share/quillmere/content/mainmenu.xml", "./lib/systemd/system/quillmere.service",
         "./etc/quillmere/serve.conf", "./usr/share/doc/quillmere/changelog.Debian.gz",
         "./usr/share/doc/quillmere/copyright", "./usr/share/quillmere/console/index.html"}
LEFT_BEHIND = [STATE, "/etc/quillmere", "/usr/bin/quillmere", "/usr/lib/quillmere",
               "/usr/share/quillmere", "/usr/share/doc/quillmere", UNIT,
               "/etc/systemd/system/multi-user.target.wants/quillmere.service"]


def run(*command, **options):
    return subprocess.run(command, check=True, capture_output=True, text=True, **options).stdout


def as_service_user(*command):
    """A `quillmere` command on the service's machine, as the service's user."""
    return run("setpriv", "--reuid=quillmere", "--regid=quillmere", "--init-groups", "env",
               f"QUILLMERE_PREFIX={STATE}", "/usr/bin/quillmere", *command)


def logon(port, password):
    envelope = ('<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/">'
                '<soap:Body><h:Logon xmlns:h="urn:quillmere:Host"><User>admin</User>'
                f'<Password>{password}</Password></h:Logon></soap:Body></soap:Envelope>')
    request = urllib.request.Request(
        f"http://127.0.0.1:{port}/soap", data=envelope.encode(),
        headers={"Content-Type": "text/xml", "SOAPAction": '"urn:quillmere:Host#Logon"'})
    with urllib.request.urlopen(request, timeout=60) as answer:
        return answer.read().decode()


class Service:
    """The unit's ExecStart, as its user with its environment, on a free port; setpriv
    execs it, so that SIGTERM reaches the server itself, as systemd sends it."""

    def __init__(self):
        unit = open(UNIT).read()
        command = shlex.split(re.search(r"^ExecStart=(.*)$", unit, re.M).group(1))
        environment = dict(line.split("=", 1) for line in
                           re.findall(r"^Environment=(.*)$", unit, re.M))
        user = re.search(r"^User=(.*)$", unit, re.M).group(1)
        self.process = subprocess.Popen(
            ["setpriv", f"--reuid={user}", f"--regid={user}", "--init-groups", "env", *[f"{k}={v}" for k, v in environment.items()],
             *command, "--listen", "127.0.0.1:0"], stdout=subprocess.PIPE, text=True)
        for line in self.process.stdout:
            if line.startswith("Listening on "):
                self.port = int(re.search(r":(\d+)/soap", line).group(1))
                return
        raise AssertionError("the service did not start")

    def get(self, path):
        with urllib.request.urlopen(f"http://127.0.0.1:{self.port}{path}", timeout=60) as answer:
            return answer.status, answer.read().decode()

    def stop(self):
        self.process.terminate()
        code = self.process.wait(60)
        self.process.stdout.close()
        return code


@unittest.skipUnless(os.geteuid() == 0 and shutil.which("dpkg"), "needs root and dpkg")
class Package(unittest.TestCase):
    def test_build_install_serve_upgrade_purge(self):
        installed = subprocess.run(["dpkg-query", "-W", "-f=${db:Status-Abbrev}", "quillmere"],
                                   capture_output=True, text=True).stdout
        self.assertEqual(installed, "", "quillmere is installed on this machine already")
        deb = run(os.path.join(SOURCE, "scripts/package")).strip().splitlines()[-1]
        self.assertRegex(os.path.basename(deb), r"^quillmere_[0-9.]+-[0-9]+_amd64\.deb$")
        listed = {line.split()[-1] for line in run("dpkg-deb", "-c", deb).splitlines()}
        self.assertLessEqual(FILES, listed)
        lint = subprocess.run(["lintian", deb], capture_output=True, text=True)
        self.assertNotIn("\nE: ", "\n" + lint.stdout, lint.stdout)

        self.addCleanup(subprocess.run, ["dpkg", "--purge", "quillmere"], capture_output=True)
        run("dpkg", "-i", deb)
        run("systemd-analyze", "verify", UNIT)
        secret = os.stat(f"{STATE}/initial-admin-password")
        self.assertEqual((secret.st_uid, stat.S_IMODE(secret.st_mode)), (0, 0o600))
        self.assertEqual(pwd.getpwnam("quillmere").pw_uid, os.stat(STATE).st_uid)
        password = open(f"{STATE}/initial-admin-password").read().strip()

        service = Service()
        try:
            status, health = service.get("/health")
            self.assertEqual((status, json.loads(health)["status"]), (200, "ok"), health)
            self.assertIn("<IdentityToken>", logon(service.port, password))
            self.assertIn("<title>", service.get("/")[1])
            metrics = service.get("/metrics")[1]
            check = subprocess.run(["promtool", "check", "metrics"], input=metrics, text=True,
                                   capture_output=True)
            self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
            self.assertIn('{object="Host",method="Logon",outcome="ok"} 1\n', metrics)
        finally:
            self.assertEqual(service.stop(), 0)

        # A reinstall keeps the changed configuration, the settings, the users and the
        # first password.
        with open(CONFIG, "a") as config:
            config.write("threads = 3\n")
        as_service_user("settings", "set", "ReportingLevel", "15")
        run("dpkg", "-i", deb)
        self.assertIn("threads = 3\n", open(CONFIG).read())
        self.assertEqual(as_service_user("settings", "get", "ReportingLevel").strip(), "15")
        service = Service()
        try:
            self.assertIn("<IdentityToken>", logon(service.port, password))
        finally:
            service.stop()

        run("dpkg", "--purge", "quillmere")
        self.assertEqual([path for path in LEFT_BEHIND if os.path.lexists(path)], [])
        self.assertNotIn("quillmere", [user.pw_name for user in pwd.getpwall()])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[2:])
