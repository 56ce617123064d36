"""`quillmere serve` watched: /health fails naming message queuing until it runs, /metrics
passes promtool and counts a refused logon, a listener of its own for both and /metrics
off, read from --config."""
import json
import os
import subprocess
import sys
import tempfile
import unittest
import urllib.error
import urllib.request

sys.path.insert(0, os.path.dirname(__file__))
from host_process import HostProcess  # noqa: E402
from raw_http_test import call  # noqa: E402

PROGRAM = sys.argv[1]


def get(port, path):
    try:
        with urllib.request.urlopen(f"http://127.0.0.1:{port}{path}", timeout=60) as answer:
            return answer.status, answer.read().decode()
    except urllib.error.HTTPError as refused:
        return refused.code, refused.read().decode()


class Monitoring(unittest.TestCase):
    def serve(self, *arguments):
        host = HostProcess(PROGRAM, *arguments)
        self.addCleanup(host.close)
        return host

    def test_health_names_what_fails_and_metrics_pass_promtool(self):
        host = self.serve()
        status, body = get(host.port, "/health")
        self.assertEqual(status, 503)
        self.assertEqual(json.loads(body)["checks"]["message_queuing"],
                         "message queuing is not running")
        for step in ("install", "start"):
            subprocess.run([PROGRAM, "queue", step], env=host.env, check=True,
                           stdout=subprocess.DEVNULL)
        # Snapshots last a second: a later one sees queuing running.
        for _ in range(50):
            status, body = get(host.port, "/health")
            if status == 200:
                break
            subprocess.run(["sleep", "0.1"], check=True)
        self.assertEqual(json.loads(body), {"status": "ok", "checks": dict.fromkeys(
            ["module", "wmi", "message_queuing", "report_worker"], "ok")})

        status, _ = call(host.port, "Host", "Logon", "<User>admin</User><Password>x</Password>")
        self.assertEqual(status, 500)
        status, metrics = get(host.port, "/metrics")
        self.assertEqual(status, 200)
        check = subprocess.run(["promtool", "check", "metrics"], input=metrics, text=True,
                               capture_output=True)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        self.assertIn("quillmere_logon_failures_total 1\n", metrics)
        self.assertIn('quillmere_requests_total{object="Host",method="Logon",outcome="fault"} 1\n',
                      metrics)
        self.assertIn("quillmere_report_messages_capacity 1000\n", metrics)

    def test_a_listener_of_their_own_and_metrics_off_from_the_config_file(self):
        with tempfile.NamedTemporaryFile("w", suffix=".conf") as config:
            config.write("# monitoring apart\nmonitoring-listen = 127.0.0.1:0\n"
                         "no-metrics = true\nlisten = 127.0.0.1:1\n")
            config.flush()
            host = self.serve("--config", config.name)  # its --listen wins over the file's
        monitoring = int(host.banner.split("Monitoring: http://127.0.0.1:")[1].split("/")[0])
        self.assertEqual(get(host.port, "/health")[0], 404)
        self.assertIn(get(monitoring, "/health")[0], (200, 503))
        self.assertEqual(get(monitoring, "/metrics")[0], 404)
        self.assertEqual(get(monitoring, "/soap?wsdl")[0], 404)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[2:])
