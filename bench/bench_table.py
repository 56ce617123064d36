"""Google Benchmark JSON to one table: each `<Area>/<Case>/ours` beside its `/peer`, the ratio
and its target, and the absolute limits as rows of their own. bench/run feeds it."""
import fnmatch
import re

# (case pattern, figure, comparison, limit). The first matching row holds for a case; one
# without a comparison is shown without a target. A figure is "time" (per iteration, ns) or
# a counter's name; a ratio is ours / peer.
RATIO_TARGETS = [
    ("Documents/SessionList10000", "time", "<=", 1.1),
    ("Documents/ElementBuilder10000", "time", "<=", 0.5),
    ("Settings/GetMetadata50", "time", "<=", 3.0),
    ("Host/AdminSessionList", "requests_per_second", ">=", 0.5),
    # The target is the pinned case; the scheduler's placement is shown beside it.
    ("Report/PassingBusy", "time", None, None),
    ("Broker/Send*", "time", "<=", 2.0),
    ("Broker/Forward*", "items_per_second", ">=", 0.5),
    ("Report/*", "time", "<=", 1.0),
    ("Trace/*", "time", "<=", 1.0),
]
# Limits on `ours` alone (or a case without a peer).
ABSOLUTE_TARGETS = [
    ("Report/Filtered", "time", "<=", 5.0),
    ("Trace/Off", "time", "<=", 5.0),
    ("Report/Drain", "items_per_second", ">=", 1_000_000.0),
    ("Settings/GetMetadata50", "time", "<=", 500_000.0),
    ("Host/ResidentGrowth", "resident_growth", "<=", 1.10),
]

TO_NANOSECONDS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
ROLES = ("ours", "peer")


def split_name(name):
    """(case, role) of a benchmark name: the role is the `ours` or `peer` part, the case the
    rest (arguments after the role stay in it); role None when the name has neither."""
    parts = [part for part in name.split("/") if part != "real_time"]
    for index, part in enumerate(parts):
        if part in ROLES:
            return "/".join(parts[:index] + parts[index + 1:]), part
    return "/".join(parts), None


def figures_of(entry):
    """The figures of one result: its time per iteration in ns (real time when the benchmark
    measures real or manual time, else CPU time) and every counter."""
    figures = {key: value for key, value in entry.items()
               if isinstance(value, (int, float)) and not isinstance(value, bool)
               and key not in ("real_time", "cpu_time", "iterations", "repetitions",
                               "repetition_index", "threads", "family_index",
                               "per_family_instance_index")}
    # A benchmark timing itself (manual time) reports its own figure as the real time.
    parts = entry.get("run_name", entry["name"]).split("/")
    measured_real = "real_time" in parts or "manual_time" in parts
    clock = "real_time" if measured_real else "cpu_time"
    if clock in entry:
        figures["time"] = entry[clock] * TO_NANOSECONDS[entry.get("time_unit", "ns")]
    return figures


def medians(document):
    """{(case, role): figures} of a Google Benchmark JSON document: its median aggregates,
    or its single runs when it was run without repetitions."""
    results, singles = {}, {}
    for entry in document.get("benchmarks", []):
        if entry.get("run_type") == "aggregate":
            if entry.get("aggregate_name") == "median":
                results[split_name(entry.get("run_name", entry["name"]))] = figures_of(entry)
        elif entry.get("error_occurred"):
            continue
        else:
            singles.setdefault(split_name(entry["name"]), figures_of(entry))
    for key, figures in singles.items():
        results.setdefault(key, figures)
    return results


def first_target(targets, case):
    for pattern, figure, comparison, limit in targets:
        if fnmatch.fnmatchcase(case, pattern):
            return (figure, comparison, limit) if comparison else None
    return None


def met(value, comparison, limit):
    return value <= limit if comparison == "<=" else value >= limit


def rows(results, areas=()):
    """Table rows (case, ours, peer, ratio, target, verdict), values as text, in case order:
    every ours/peer pair, then every absolute limit of the areas run, measured or not."""
    table = []
    # A case measured on its own belongs to its absolute limit, when it has one.
    limited = {target[0] for target in ABSOLUTE_TARGETS}
    cases = sorted({case for case, role in results
                    if role == "peer" or (role == "ours" and case not in limited)})
    for case in cases:
        ours, peer = results.get((case, "ours")), results.get((case, "peer"))
        target = first_target(RATIO_TARGETS, case)
        figure = target[0] if target else "time"
        if ours is None or peer is None or figure not in ours or figure not in peer:
            table.append((case, show(ours, figure), show(peer, figure), "-",
                          target_text(target, "x"), "missing"))
            continue
        ratio = ours[figure] / peer[figure] if peer[figure] else float("inf")
        verdict = "-" if target is None else ("met" if met(ratio, *target[1:]) else "NOT MET")
        table.append((case, show(ours, figure), show(peer, figure), f"{ratio:.2f}x",
                      target_text(target, "x"), verdict))
    for pattern, figure, comparison, limit in ABSOLUTE_TARGETS:
        if areas and pattern.split("/")[0] not in areas:
            continue
        ours = results.get((pattern, "ours"), results.get((pattern, None)))
        target = (figure, comparison, limit)
        if ours is None or figure not in ours:
            table.append((pattern, "-", "-", "-", target_text(target, ""), "missing"))
            continue
        table.append((pattern, show(ours, figure), "", "", target_text(target, ""),
                      "met" if met(ours[figure], comparison, limit) else "NOT MET"))
    return table


def show(figures, figure):
    if figures is None or figure not in figures:
        return "-"
    return quantity(figures[figure], figure)


def quantity(value, figure):
    if figure == "time":
        for unit, scale in (("s", 1e9), ("ms", 1e6), ("us", 1e3)):
            if value >= scale:
                return f"{value / scale:.3g} {unit}"
        return f"{value:.3g} ns"
    if figure.endswith("per_second"):
        for suffix, scale in (("M", 1e6), ("k", 1e3)):
            if value >= scale:
                return f"{value / scale:.3g}{suffix}/s"
        return f"{value:.3g}/s"
    return f"{value:.2f}"


def target_text(target, suffix):
    if target is None:
        return "-"
    figure, comparison, limit = target
    if suffix:
        return f"{comparison} {limit:g}{suffix}"
    return f"{comparison} {quantity(limit, figure)}"


def render(table):
    header = ("area/case", "ours", "peer", "ratio", "target", "")
    widths = [max(len(row[i]) for row in [header, *table]) for i in range(len(header))]
    lines = []
    for row in [header, *table]:
        cells = [row[0].ljust(widths[0])] + [cell.rjust(width)
                                             for cell, width in zip(row[1:-1], widths[1:-1])]
        lines.append(re.sub(r"\s+$", "", "  ".join(cells + [row[-1]])))
    return "\n".join(lines) + "\n"
