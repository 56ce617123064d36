#!/usr/bin/python3
"""The host end to end over loopback, against libmicrohttpd alone in the same run.

wrk (2 threads, 32 connections, 10 s) posts the AdminSessionList envelope, with its
SOAPAction and a session's token, to `quillmere serve` holding 10 sessions, then the same
request to bench/bare_http_server (the same daemon flags and pool, a fixed 2 KB answer).
Then a fresh host's resident memory after 10,000 and after 100,000 requests.

    bench/host_bench.py [--build DIR] [--duration S] [--json]

--json prints the figures as Google Benchmark's JSON (median aggregates), for bench/run.
"""
import argparse
import http.client
import json
import math
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOAP_NS = 'xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"'
SESSIONS = 10
WRK_THREADS, WRK_CONNECTIONS = 2, 32
MEMORY_CHECKPOINTS = (10_000, 100_000)

# wrk posts one fixed request; with a limit, each thread stops after its share of answers.
WRK_SCRIPT = """
wrk.method = "POST"
wrk.body = [==[{body}]==]
wrk.headers["Content-Type"] = "text/xml; charset=utf-8"
wrk.headers["SOAPAction"] = [==[{action}]==]
local limit = nil
local answered = 0
function init(args)
  if args[1] then limit = tonumber(args[1]) end
end
if {limited} then
  function response(status, headers, body)
    answered = answered + 1
    if answered >= limit then wrk.thread:stop() end
  end
end
"""


def envelope(obj, method, parameters=""):
    return (f"<soap:Envelope {SOAP_NS}><soap:Header/><soap:Body>"
            f'<m:{method} xmlns:m="urn:quillmere:{obj}">{parameters}</m:{method}>'
            "</soap:Body></soap:Envelope>")


def soap_action(obj, method):
    return f'"urn:quillmere:{obj}#{method}"'


def post(port, obj, method, parameters=""):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    connection.request("POST", "/soap", body=envelope(obj, method, parameters).encode(),
                       headers={"Content-Type": "text/xml; charset=utf-8",
                                "SOAPAction": soap_action(obj, method)})
    response = connection.getresponse()
    answer = response.status, response.read().decode("utf-8", "replace")
    connection.close()
    return answer


class Server:
    """A program that prints its port on a "Listening on" line, stopped by SIGTERM."""

    def __init__(self, command, env=None, log=None):
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, text=True, env=env,
                                        stderr=log if log is not None else subprocess.DEVNULL)
        self.banner = ""
        for line in self.process.stdout:
            self.banner += line
            if line.startswith("Listening on "):
                break
        port = re.search(r"^Listening on (?:https?://[^:]+:)?(\d+)", self.banner, re.M)
        if not port:
            self.close()
            raise RuntimeError(f"{command[0]} did not start:\n{self.banner}")
        self.port = int(port.group(1))

    def resident_kb(self):
        with open(f"/proc/{self.process.pid}/status") as status:
            return int(re.search(r"^VmRSS:\s+(\d+) kB", status.read(), re.M).group(1))

    def cpu_seconds(self):
        """User and system time the process has used so far."""
        with open(f"/proc/{self.process.pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def close(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()


class Host(Server):
    """`quillmere serve` in a fresh prefix on a free port, with SESSIONS sessions open."""

    def __init__(self, program):
        self.prefix = tempfile.mkdtemp(prefix="quillmere-bench-")
        self.log = open(os.path.join(self.prefix, "serve.log"), "w")
        env = dict(os.environ, QUILLMERE_PREFIX=self.prefix)
        super().__init__([program, "serve", "--listen", "127.0.0.1:0"], env, self.log)
        password = re.search(r'^Created the administrator "admin" with the password: (\S+)$',
                             self.banner, re.M)
        if not password:
            self.close()
            raise RuntimeError("the host did not create its administrator:\n" + self.banner)
        self.tokens = [self.logon(password.group(1)) for _ in range(SESSIONS)]

    def logon(self, password):
        status, body = post(self.port, "Host", "Logon",
                            f"<User>admin</User><Password>{password}</Password>")
        token = re.search(r"<IdentityToken>([0-9a-f]+)</IdentityToken>", body)
        if status != 200 or not token:
            raise RuntimeError(f"logon failed: {status} {body[:300]}")
        return token.group(1)

    def close(self):
        super().close()
        self.log.close()
        shutil.rmtree(self.prefix, ignore_errors=True)


def parse_wrk(output):
    """Requests per second, p99 latency in ms, requests and failed answers from wrk's report."""
    scale = {"us": 0.001, "ms": 1.0, "s": 1000.0}
    rate = re.search(r"^Requests/sec:\s+([\d.]+)", output, re.M)
    p99 = re.search(r"^\s+99%\s+([\d.]+)(us|ms|s)\b", output, re.M)
    total = re.search(r"^\s+(\d+) requests in", output, re.M)
    if not rate or not total:
        raise RuntimeError("cannot read wrk's report:\n" + output)
    failed = re.search(r"Non-2xx or 3xx responses:\s+(\d+)", output)
    errors = re.search(r"Socket errors:.*", output)
    return {"requests_per_second": float(rate.group(1)),
            "p99_ms": float(p99.group(1)) * scale[p99.group(2)] if p99 else None,
            "requests": int(total.group(1)),
            "failed": int(failed.group(1)) if failed else 0,
            "socket_errors": errors.group(0) if errors else ""}


def measured(server, *wrk_arguments):
    """wrk's figures and the server's CPU time per answered request (in microseconds): on a
    shared machine the CPU each request costs moves much less than the rate."""
    before = server.cpu_seconds()
    figures = run_wrk(server.port, *wrk_arguments)
    figures["cpu_us_per_request"] = (server.cpu_seconds() - before) * 1e6 / figures["requests"]
    return figures


def run_wrk(port, script_folder, body, action, duration, limit=None):
    script = os.path.join(script_folder, "limited.lua" if limit else "post.lua")
    with open(script, "w") as out:
        out.write(WRK_SCRIPT.format(body=body, action=action,
                                    limited="true" if limit else "false"))
    command = ["wrk", f"-t{WRK_THREADS}", f"-c{WRK_CONNECTIONS}", f"-d{duration}s", "--latency",
               "-s", script, f"http://127.0.0.1:{port}/soap"]
    if limit:
        command += ["--", str(limit // WRK_THREADS)]
    result = subprocess.run(command, capture_output=True, text=True, check=True)
    return parse_wrk(result.stdout)


def throughput(program, bare_program, folder, duration):
    host = Host(program)
    try:
        body = envelope("Administrator", "AdminSessionList",
                        f"<IdentityToken>{host.tokens[0]}</IdentityToken>")
        action = soap_action("Administrator", "AdminSessionList")
        status, answer = post(host.port, "Administrator", "AdminSessionList",
                              f"<IdentityToken>{host.tokens[0]}</IdentityToken>")
        if status != 200 or "<XMLDATA>" not in answer:
            raise RuntimeError(f"AdminSessionList failed: {status} {answer[:300]}")
        ours = measured(host, folder, body, action, duration)
    finally:
        host.close()
    bare = Server([bare_program])
    try:
        peer = measured(bare, folder, body, action, duration)
    finally:
        bare.close()
    return ours, peer, len(answer.encode())


def memory(program, folder, rate):
    """VmRSS of a fresh host after each checkpoint's number of requests. wrk runs for its
    whole duration even when its threads stop early, so each run lasts about as long as the
    rate measured before says the requests take, and runs again while some are missing."""
    host = Host(program)
    try:
        body = envelope("Administrator", "AdminSessionList",
                        f"<IdentityToken>{host.tokens[0]}</IdentityToken>")
        action = soap_action("Administrator", "AdminSessionList")
        served, sizes = SESSIONS, []
        for checkpoint in MEMORY_CHECKPOINTS:
            while checkpoint - served >= WRK_CONNECTIONS:
                missing = checkpoint - served
                seconds = 1 + math.ceil(missing / rate * 1.2)
                served += run_wrk(host.port, folder, body, action, seconds, missing)["requests"]
            sizes.append((served, host.resident_kb()))
        return sizes
    finally:
        host.close()


def median_row(name, **counters):
    return dict(name=name, run_name=name, run_type="aggregate", aggregate_name="median",
                **counters)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    parser.add_argument("--duration", type=int, default=10, help="seconds of each wrk run")
    parser.add_argument("--json", action="store_true", help="Google Benchmark JSON on stdout")
    options = parser.parse_args()
    program = os.path.join(options.build, "host", "commands", "quillmere")
    bare_program = os.path.join(options.build, "bench", "bare_http_server")
    for needed in (program, bare_program):
        if not os.access(needed, os.X_OK):
            sys.exit(f"{needed} is missing: cmake --preset release && cmake --build --preset "
                     "release -j2 --target quillmere bare_http_server")
    if shutil.which("wrk") is None:
        sys.exit("wrk is missing (Debian's wrk)")
    folder = tempfile.mkdtemp(prefix="quillmere-wrk-")
    try:
        ours, peer, answer_bytes = throughput(program, bare_program, folder, options.duration)
        sizes = memory(program, folder, ours["requests_per_second"])
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    (early, early_kb), (late, late_kb) = sizes
    lines = [f"AdminSessionList, {SESSIONS} sessions ({answer_bytes} bytes) against a bare "
             f"libmicrohttpd answering 2048 bytes; wrk -t{WRK_THREADS} -c{WRK_CONNECTIONS} "
             f"-d{options.duration}s"]
    for label, figures in (("host", ours), ("bare", peer)):
        p99 = f"{figures['p99_ms']:.2f} ms" if figures["p99_ms"] is not None else "?"
        lines.append(f"  {label}: {figures['requests_per_second']:10.0f} requests/s, p99 {p99}, "
                     f"{figures['cpu_us_per_request']:.1f} us CPU per request, "
                     f"{figures['failed']} failed {figures['socket_errors']}")
    ratio = ours["requests_per_second"] / peer["requests_per_second"]
    growth = late_kb / early_kb
    lines.append(f"  ratio host/bare {ratio:.2f} (target >= 0.5)")
    lines.append(f"  resident: {early_kb} kB after {early} requests, {late_kb} kB after {late} "
                 f"({growth:.3f}x, target <= 1.10)")
    print("\n".join(lines), file=sys.stderr if options.json else sys.stdout)
    if ours["failed"] or peer["failed"]:
        sys.exit("some requests were not answered with 200: the figures do not count")
    if options.json:
        rows = [median_row(f"Host/AdminSessionList/{role}", time_unit="ms",
                           requests_per_second=figures["requests_per_second"],
                           p99_ms=figures["p99_ms"],
                           cpu_us_per_request=figures["cpu_us_per_request"])
                for role, figures in (("ours", ours), ("peer", peer))]
        rows.append(median_row("Host/ResidentGrowth/ours", resident_growth=growth,
                               resident_kb_early=early_kb, resident_kb_late=late_kb))
        json.dump({"benchmarks": rows}, sys.stdout, indent=1)
        print()


if __name__ == "__main__":
    main()
