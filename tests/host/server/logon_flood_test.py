"""A name in its delay is told at once to try again later; a flood of wrong passwords
leaves other requests answered promptly."""
import multiprocessing
import os
import re
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from host_process import HostProcess  # noqa: E402
from raw_http_test import call, logon  # noqa: E402

PROGRAM = sys.argv[1]
WRONG = "<User>admin</User><Password>wrong</Password>"


def flood(port, stop):
    """16 clients sending wrong passwords for admin until stop."""
    def flooder():
        while not stop.is_set():
            call(port, "Host", "Logon", WRONG)
    threads = [threading.Thread(target=flooder) for _ in range(16)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()


class LogonFloodTest(unittest.TestCase):
    def setUp(self):
        self.host = HostProcess(PROGRAM)
        self.addCleanup(self.host.close)

    def test_a_wrong_password_flood_leaves_other_requests_prompt(self):
        token, stop = logon(self.host), multiprocessing.Event()
        # In a process of its own, so that the flood does not share this interpreter's lock.
        flooders = multiprocessing.Process(target=flood, args=(self.host.port, stop))
        flooders.start()
        time.sleep(1)
        timings, deadline = [], time.monotonic() + 20
        while len(timings) < 400 and time.monotonic() < deadline:
            started = time.perf_counter()
            status, body = call(self.host.port, "Administrator", "AdminSessionList",
                                f"<IdentityToken>{token}</IdentityToken>")
            timings.append((time.perf_counter() - started) * 1000)
            self.assertEqual(status, 200, body)
        stop.set()
        flooders.join()
        timings.sort()
        p99 = timings[max(0, int(len(timings) * 0.99) - 1)]
        print(f"AdminSessionList under the flood: {len(timings)} calls, "
              f"median {timings[len(timings) // 2]:.1f} ms, p99 {p99:.1f} ms", file=sys.stderr)
        # Measured here: p99 12-18 ms (seconds before failed logons stopped holding workers).
        # The bound leaves room for a loaded or sanitised build and still tells a starved
        # server from a prompt one.
        self.assertLess(p99, 250)

    def test_a_name_in_its_delay_is_told_to_try_again_later(self):
        faults = [re.search(r"<faultstring>(.*)</faultstring>", call(self.host.port, "Host", "Logon",
                                                                     WRONG)[1]).group(1)
                  for _ in range(4)]
        self.assertEqual(faults, 3 * ["Logon failed: unknown user or wrong password"] + [
            "Too many failed logons for this user or from this address: try again in 1 second"])
        time.sleep(0.3)
        logon(self.host)  # the right password, once the delay has passed


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[2:])  # the test cases to run, or all
