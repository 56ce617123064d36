"""host_bench.py reads wrk's report: the rate, p99 in ms whatever unit wrk chose, the count,
and the answers that were not 200."""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "bench"))
import host_bench  # noqa: E402

REPORT = """Running 10s test @ http://127.0.0.1:43019/soap
  2 threads and 32 connections
  Thread Stats   Avg      Stdev     Max   +/- Stdev
    Latency     2.22ms    5.88ms  44.07ms   92.19%
    Req/Sec    18.06k     9.92k   37.04k    70.00%
  Latency Distribution
     50%   49.00us
     75%    1.31ms
     90%    5.86ms
     99%   {p99}
  18116 requests in 10.03s, 37.40MB read
{extra}Requests/sec:  17584.39
Transfer/sec:     36.31MB
"""


class ParseWrk(unittest.TestCase):
    def test_p99_in_milliseconds_from_each_unit(self):
        for p99, milliseconds in (("830.00us", 0.83), ("30.88ms", 30.88), ("1.20s", 1200.0)):
            figures = host_bench.parse_wrk(REPORT.format(p99=p99, extra=""))
            self.assertAlmostEqual(figures["p99_ms"], milliseconds, msg=p99)
            self.assertEqual((figures["requests_per_second"], figures["requests"],
                              figures["failed"]), (17584.39, 18116, 0))

    def test_failed_answers_and_socket_errors_counted(self):
        extra = ("  Socket errors: connect 0, read 3, write 0, timeout 2\n"
                 "  Non-2xx or 3xx responses: 41\n")
        figures = host_bench.parse_wrk(REPORT.format(p99="3.00ms", extra=extra))
        self.assertEqual(figures["failed"], 41)
        self.assertEqual(figures["socket_errors"],
                         "Socket errors: connect 0, read 3, write 0, timeout 2")

    def test_no_report_is_refused(self):
        with self.assertRaises(RuntimeError):
            host_bench.parse_wrk("unable to connect to 127.0.0.1:1 Connection refused\n")


if __name__ == "__main__":
    unittest.main()
