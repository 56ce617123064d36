"""bench/run's table: names split into case and role, medians chosen, ours paired with peer,
targets judged in the right direction, and the table laid out."""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "bench"))
import bench_table  # noqa: E402


def aggregate(name, aggregate_name, real, cpu, unit="ns", **counters):
    return dict(name=f"{name}_{aggregate_name}", run_name=name, run_type="aggregate",
                aggregate_name=aggregate_name, real_time=real, cpu_time=cpu, time_unit=unit,
                iterations=5, **counters)


class SplitName(unittest.TestCase):
    def test_cases(self):
        cases = [("Documents/SessionList10000/ours", ("Documents/SessionList10000", "ours")),
                 ("Report/Queued/peer/real_time", ("Report/Queued", "peer")),
                 ("Documents/SessionList/ours/10000", ("Documents/SessionList/10000", "ours")),
                 ("Report/Drain", ("Report/Drain", None)),
                 ("BM_Old/64", ("BM_Old/64", None))]
        for name, expected in cases:
            self.assertEqual(bench_table.split_name(name), expected, name)


class Medians(unittest.TestCase):
    def test_median_in_nanoseconds_by_the_clock_measured(self):
        document = {"benchmarks": [
            aggregate("Report/Queued/ours", "mean", 9.0, 9.0, "us"),
            aggregate("Report/Queued/ours", "median", 7.0, 2.0, "us"),
            aggregate("Report/Queued/peer/real_time", "median", 3.0, 1.0, "ms"),
            aggregate("Report/Idle/ours/iterations:5/manual_time", "median", 4.0, 9.0, "us"),
            aggregate("Report/Drain", "median", 1.0, 1.0, items_per_second=2.5e6)]}
        results = bench_table.medians(document)
        self.assertEqual(results[("Report/Queued", "ours")]["time"], 2000.0)
        self.assertEqual(results[("Report/Queued", "peer")]["time"], 3e6)
        self.assertEqual(results[("Report/Drain", None)]["items_per_second"], 2.5e6)
        self.assertEqual(results[("Report/Idle/iterations:5/manual_time", "ours")]["time"], 4000.0)
        self.assertEqual(len(results), 4)

    def test_single_runs_without_repetitions_errors_left_out(self):
        document = {"benchmarks": [
            dict(name="A/B/ours", run_type="iteration", cpu_time=4.0, real_time=5.0,
                 time_unit="ns"),
            dict(name="A/B/peer", run_type="iteration", error_occurred=True, cpu_time=0.0,
                 real_time=0.0, time_unit="ns")]}
        self.assertEqual(bench_table.medians(document), {("A/B", "ours"): {"time": 4.0}})


class Rows(unittest.TestCase):
    RESULTS = {
        ("Documents/SessionList10000", "ours"): {"time": 1050.0},
        ("Documents/SessionList10000", "peer"): {"time": 1000.0},
        ("Documents/ElementBuilder10000", "ours"): {"time": 600.0},
        ("Documents/ElementBuilder10000", "peer"): {"time": 1000.0},
        ("Host/AdminSessionList", "ours"): {"time": 1.0, "requests_per_second": 4000.0},
        ("Host/AdminSessionList", "peer"): {"time": 1.0, "requests_per_second": 10000.0},
        ("Report/Queued", "ours"): {"time": 130.0},
        ("Report/Queued", "peer"): {"time": 100.0},
        ("Report/PassingBusy", "ours"): {"time": 300.0},
        ("Report/PassingBusy", "peer"): {"time": 100.0},
        ("Other/Thing", "ours"): {"time": 2.0},
        ("Other/Thing", "peer"): {"time": 4.0},
        ("Other/Lonely", "ours"): {"time": 2.0},
        ("Report/Filtered", "ours"): {"time": 4.5},
        ("Report/Drain", None): {"items_per_second": 900_000.0},
        ("Host/ResidentGrowth", "ours"): {"resident_growth": 1.02},
    }

    def test_every_pair_and_limit_judged_once(self):
        expected = [
            ("Documents/ElementBuilder10000", "600 ns", "1 us", "0.60x", "<= 0.5x", "NOT MET"),
            ("Documents/SessionList10000", "1.05 us", "1 us", "1.05x", "<= 1.1x", "met"),
            ("Host/AdminSessionList", "4k/s", "10k/s", "0.40x", ">= 0.5x", "NOT MET"),
            ("Other/Lonely", "2 ns", "-", "-", "-", "missing"),
            ("Other/Thing", "2 ns", "4 ns", "0.50x", "-", "-"),
            ("Report/PassingBusy", "300 ns", "100 ns", "3.00x", "-", "-"),
            ("Report/Queued", "130 ns", "100 ns", "1.30x", "<= 1x", "NOT MET"),
            ("Report/Filtered", "4.5 ns", "", "", "<= 5 ns", "met"),
            ("Trace/Off", "-", "-", "-", "<= 5 ns", "missing"),
            ("Report/Drain", "900k/s", "", "", ">= 1M/s", "NOT MET"),
            ("Settings/GetMetadata50", "-", "-", "-", "<= 500 us", "missing"),
            ("Host/ResidentGrowth", "1.02", "", "", "<= 1.10", "met"),
        ]
        self.assertEqual(bench_table.rows(self.RESULTS), expected)

    def test_only_the_areas_run_have_their_limits(self):
        cases = [row[0] for row in bench_table.rows({}, areas={"Host"})]
        self.assertEqual(cases, ["Host/ResidentGrowth"])

    def test_render(self):
        table = [("Report/Queued", "130 ns", "100 ns", "1.30x", "<= 1x", "NOT MET"),
                 ("Report/Filtered", "4.5 ns", "", "", "<= 5 ns", "met")]
        self.assertEqual(bench_table.render(table),
                         "area/case          ours    peer  ratio   target\n"
                         "Report/Queued    130 ns  100 ns  1.30x    <= 1x  NOT MET\n"
                         "Report/Filtered  4.5 ns                 <= 5 ns  met\n")


if __name__ == "__main__":
    unittest.main()
