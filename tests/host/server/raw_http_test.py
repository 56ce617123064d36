"""`quillmere serve` over plain HTTP: every kind of bad input gets its fault or status and
the server keeps serving; 32 concurrent clients; a stop while clients are still sending;
slow clients, a deadline per request, limits per address; TLS 1.2 and newer only; nothing
the server and the commands leave in a fresh prefix is open to others."""
import http.client
import os
import re
import resource
import shutil
import socket
import ssl
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import xml.etree.ElementTree

sys.path.insert(0, os.path.dirname(__file__))
from host_process import HostProcess  # noqa: E402

PROGRAM = sys.argv[1]
MAX_BODY = 65536
SOAP_NS = 'xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"'
LOGON = ('POST /soap HTTP/1.1\r\nHost: x\r\nContent-Type: text/xml\r\n'
         'SOAPAction: "urn:quillmere:Host#Logon"\r\n')
WSDL = "GET /soap?wsdl HTTP/1.1\r\nHost: evil.example:666\r\nConnection: close\r\n\r\n"


def envelope(obj, method, parameters="", headers=""):
    return (f"<soap:Envelope {SOAP_NS}><soap:Header>{headers}</soap:Header><soap:Body>"
            f'<m:{method} xmlns:m="urn:quillmere:{obj}">{parameters}</m:{method}>'
            "</soap:Body></soap:Envelope>")


def send(port, body=None, action=None, content_type="text/xml; charset=utf-8", method="POST",
         path="/soap"):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    headers = {"Content-Type": content_type} if content_type else {}
    if action is not None:
        headers["SOAPAction"] = action
    if isinstance(body, str):
        body = body.encode()
    try:
        connection.request(method, path, body=body, headers=headers,
                           encode_chunked=body is not None and not isinstance(body, bytes))
    except BrokenPipeError:
        pass  # answered and closed before the whole body was sent: the answer is still read
    response = connection.getresponse()
    answer = response.status, response.read().decode("utf-8", "replace")
    connection.close()
    return answer


def call(port, obj, method, parameters="", headers=""):
    return send(port, envelope(obj, method, parameters, headers),
                f'"urn:quillmere:{obj}#{method}"')


def logon(host):
    status, body = call(host.port, "Host", "Logon",
                        f"<User>admin</User><Password>{host.password}</Password>")
    assert status == 200, body
    return re.search(r"<IdentityToken>([0-9a-f]+)</IdentityToken>", body).group(1)


def bad_inputs(host, token):
    logon_action, list_action = '"urn:quillmere:Host#Logon"', '"urn:quillmere:Administrator#UserList"'
    doctype = '<!DOCTYPE x [<!ENTITY a "aa">]>' + envelope("Host", "Logon", "<User>&a;</User>")
    not_understood = f'<x:T xmlns:x="urn:x" {SOAP_NS} soap:mustUnderstand="1"/>'
    # (name, send's arguments, HTTP status, fault code, start of the fault text)
    cases = [
        ("malformed", (envelope("Host", "Logon")[:-5], logon_action), 500, "soap:Client", ""),
        ("doctype", (doctype, logon_action), 500, "soap:Client", ""),
        ("oversized", (envelope("Host", "Logon", "x" * MAX_BODY), logon_action), 413, None, None),
        ("oversized in chunks", (iter([b"x" * 40000] * 2), logon_action), 413, None, None),
        ("too deep", (envelope("Administrator", "UserList", "<a>" * 99 + "</a>" * 99),
                      list_action), 500, "soap:Client", ""),
        ("unknown object", (envelope("Nobody", "Nothing"), '"urn:quillmere:Nobody#Nothing"'), 500,
         "soap:Client", "Permission Denied"),
        ("unknown method", (envelope("Administrator", "No"), '"urn:quillmere:Administrator#No"'),
         500, "soap:Client", "Permission Denied"),
        ("wrong content type", (envelope("Host", "Logon"), logon_action, "application/json"), 415,
         None, None),
        ("no SOAPAction", (envelope("Host", "Logon"), None), 400, None, None),
        ("SOAPAction of another method", (envelope("Administrator", "UserList"),
                                          '"urn:quillmere:Administrator#AdminJobList"'), 500,
         "soap:Client", "SOAPAction names Administrator#AdminJobList but the Body calls "
         "Administrator#UserList"),
        ("malformed SOAPAction", (envelope("Administrator", "UserList"), "UserList"), 500,
         "soap:Client", "SOAPAction must be \"urn:quillmere:&lt;Object&gt;#&lt;Method&gt;\""),
        ("bad token", (envelope("Administrator", "UserList", "<IdentityToken>0</IdentityToken>"),
                       list_action), 500, "soap:Client", ""),
        ("wrong password", (envelope("Host", "Logon", "<User>admin</User><Password>x</Password>"),
                            logon_action), 500, "soap:Client", "Logon failed"),
        ("unknown user", (envelope("Host", "Logon", "<User>eve</User><Password>x</Password>"),
                          logon_action), 500, "soap:Client", "Logon failed"),
        ("header not understood", (envelope("Administrator", "UserList",
                                            f"<IdentityToken>{token}</IdentityToken>",
                                            not_understood), list_action), 500,
         "soap:MustUnderstand", "Headers not understood: {urn:x}T"),
        ("other path", (None, None, None, "GET", "/other"), 404, None, None),
        ("GET without wsdl", (None, None, None, "GET"), 405, None, None),
        ("PUT", (envelope("Host", "Logon"), logon_action, "text/xml", "PUT"), 405, None, None),
    ]
    for name, arguments, status, code, text in cases:
        got_status, body = send(host.port, *arguments)
        assert got_status == status, (name, got_status, body)
        if code:
            fault = re.search(r"<faultcode>(.*)</faultcode><faultstring>(.*?)</faultstring>", body,
                              re.S)
            assert fault and fault[1] == code and fault[2].startswith(text), (name, body)
        assert logon(host), name  # the server keeps serving
    line = r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z INFO POST Host#Logon 500 \d+ ms\n"
    assert re.search(line, host.log()), host.log()


def concurrent_clients(host, token, clients=32, requests=8):
    failures = []

    def client(index):
        for i in range(requests):
            method = ("UserList", "AdminSessionList")[(index + i) % 2]
            status, body = call(host.port, "Administrator", method,
                                f"<IdentityToken>{token}</IdentityToken>")
            if status != 200 or "<XMLDATA>" not in body:
                failures.append((index, method, status, body[:300]))

    threads = [threading.Thread(target=client, args=(i,)) for i in range(clients)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert not failures, failures[:3]


def stop_under_load(host, token, clients=16):
    """Clients keep calling while SIGTERM arrives. Each request the server took (and so
    logged) is answered in full; connections it had not taken yet are refused or reset;
    the server exits with 0."""
    answered, unexpected, running = [], [], threading.Event()
    running.set()
    first_answers = threading.Semaphore(0)
    logged_before = host.log().count(" POST WbemProvider#PoolProvider ")

    def client():
        while running.is_set():
            try:
                status, body = call(host.port, "WbemProvider", "PoolProvider",
                                    f"<IdentityToken>{token}</IdentityToken>")
            except (ConnectionRefusedError, ConnectionResetError, http.client.RemoteDisconnected):
                return  # not taken: no status line came back
            if status != 200 or not body.endswith("</soap:Envelope>"):
                unexpected.append((status, body[:200]))
            answered.append(status)
            first_answers.release()

    threads = [threading.Thread(target=client) for _ in range(clients)]
    for thread in threads:
        thread.start()
    for _ in range(clients):
        first_answers.acquire()
    code = host.stop()
    running.clear()
    for thread in threads:
        thread.join()
    assert code == 0 and not unexpected, (code, unexpected[:3], host.log())
    logged = host.log().count(" POST WbemProvider#PoolProvider ") - logged_before
    assert logged == len(answered) >= clients, (logged, len(answered))


def client(port, request=LOGON, source="127.0.0.1"):
    """A connection that has sent `request`: by default a slow client's first header lines."""
    sock = socket.create_connection(("127.0.0.1", port), 5, (source, 0))
    sock.sendall(request.encode())
    return sock


def ask(port, request, source="127.0.0.1"):
    with client(port, request, source) as sock, sock.makefile("rb") as answer:
        return answer.read().decode()


def closed_at(sock):
    """When the server closed `sock`, sent a header line every 0.5 s (for 6 s at most)."""
    sock.settimeout(0.5)
    for _ in range(12):
        try:
            if sock.send(b"X: 1\r\n") and not sock.recv(99):
                break
        except OSError as error:
            if not isinstance(error, socket.timeout):
                break
    return time.monotonic()


def median_latency(port):
    """The median seconds of 10 WSDL requests; one not answered in 5 s counts as 5."""
    def one(start):
        return time.monotonic() - start if ask(port, WSDL).startswith("HTTP/1.1 200") else 5
    return statistics.median(one(time.monotonic()) for _ in range(10))


def tls(program):
    """With a certificate and its key the same service answers over HTTPS, TLS 1.2 or newer."""
    folder = tempfile.mkdtemp()
    key, certificate = os.path.join(folder, "key.pem"), os.path.join(folder, "cert.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                    "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", certificate],
                   check=True, capture_output=True)
    host = HostProcess(program, "--tls-cert", certificate, "--tls-key", key)
    try:
        assert host.url.startswith("https://"), host.url
        connection = http.client.HTTPSConnection("127.0.0.1", host.port,
                                                 context=ssl._create_unverified_context())
        connection.request("GET", "/soap?wsdl")
        assert connection.getresponse().status == 200, host.log()
        for version in ssl.TLSVersion.TLSv1, ssl.TLSVersion.TLSv1_1, ssl.TLSVersion.TLSv1_2:
            context = ssl._create_unverified_context()
            context.set_ciphers("ALL:@SECLEVEL=0")  # the client's own floor is not tested
            context.minimum_version = context.maximum_version = version
            try:
                with socket.create_connection(("127.0.0.1", host.port)) as sock:
                    agreed = context.wrap_socket(sock).version()
            except (ssl.SSLError, ConnectionResetError):
                agreed = None
            assert (agreed is not None) == (version == ssl.TLSVersion.TLSv1_2), (version, agreed)
        assert host.stop() == 0, host.log()
    finally:
        host.close()
        shutil.rmtree(folder)


def modes(prefix):  # of every file and folder, the prefix too
    return {os.path.relpath(os.path.join(top, name), prefix):
            os.lstat(os.path.join(top, name)).st_mode & 0o777
            for top, folders, files in os.walk(prefix) for name in folders + files + ["."]}


def machine_files(program):
    os.umask(0o022)
    prefix = os.path.join(tempfile.mkdtemp(), "machine")
    host = HostProcess(program, "--prefix", prefix)
    try:
        token = logon(host)
        call(host.port, "Administrator", "UserList", f"<IdentityToken>{token}</IdentityToken>")
        for arguments in (["queue", "install"], ["queue", "list"], ["users", "add", "reader"]):
            subprocess.run([program, *arguments], input="a long enough passphrase\n", text=True,
                           env=dict(os.environ, QUILLMERE_PREFIX=prefix), check=True,
                           capture_output=True)
        found = modes(prefix)  # with the databases' journals, there while the server runs
        host.stop()
        found.update(modes(prefix))
    finally:
        host.close()
        shutil.rmtree(os.path.dirname(prefix))
    assert not [f"{path} {mode:o}" for path, mode in found.items() if mode & 0o077], found
    assert {"host/users.db-wal", "registry/machine.reg", "wmi/repository.db-wal",
            "msmq/queues.db"} <= found.keys(), found


class RawHttp(unittest.TestCase):
    def setUp(self):
        self.host = HostProcess(PROGRAM, "--max-body", str(MAX_BODY), "--threads", "4")
        self.addCleanup(self.host.close)
        self.token = logon(self.host)

    def tearDown(self):
        self.assertNotIn(self.host.password, self.host.log(), "a password reached the log")

    def test_bad_input_is_refused_and_the_server_keeps_serving(self):
        bad_inputs(self.host, self.token)

    def test_concurrent_clients_are_served(self):
        concurrent_clients(self.host, self.token)

    def test_a_stop_under_load_answers_every_request_it_took(self):
        stop_under_load(self.host, self.token)

    def test_a_body_has_one_framing_and_the_wsdl_its_configured_address(self):
        for framing, status in (("Content-Length: 4", "500"), ("Transfer-Encoding: chunked", "500"),
                                ("Content-Length: 4\r\nContent-Length: 40", "400"),
                                ("Content-Length: 4\r\nContent-Length: 4", "400"),
                                ("Content-Length: 4\r\nTransfer-Encoding: chunked", "400")):
            body = "4\r\n<x/>\r\n0\r\n\r\n" if "chunked" in framing else "<x/>"
            answer = ask(self.host.port, f"{LOGON}Connection: close\r\n{framing}\r\n\r\n{body}")
            self.assertEqual(answer[9:12], status, (framing, answer))
        self.assertIn(f'location="{self.host.url}"', ask(self.host.port, WSDL))  # not the Host


class SlowClients(unittest.TestCase):
    def test_slow_connections_do_not_delay_a_good_client(self):
        """3,000 slow clients on 100 addresses, a header line every 2 s each: a good client is
        answered within 100 ms while they hang on and as soon as they leave."""
        hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
        resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
        host = HostProcess(PROGRAM)
        self.addCleanup(host.close)
        count = min(3000, hard - 99)
        slow = [client(host.port, source=f"127.0.2.{i % 100 + 1}") for i in range(count)]
        for _ in range(2):
            time.sleep(2)
            for sock in slow:
                sock.send(b"X: 1\r\n")
        hanging = median_latency(host.port)
        for sock in slow:
            sock.close()
        self.assertLess(max(hanging, median_latency(host.port)), 0.1, hanging)

    def test_limits_close_what_exceeds_them(self):
        """A request trickled past its deadline of 2 s is cut off; the fourth connection from an
        address is closed at once, while other addresses are served."""
        public = "https://admin.example.org/q/soap"
        host = HostProcess(PROGRAM, "--request-deadline", "2", "--max-connections-per-client",
                           "3", "--public-url", public)
        self.addCleanup(host.close)
        opened = time.monotonic()
        slow = [client(host.port, source="127.0.3.1") for _ in range(4)]
        self.assertLess(closed_at(slow[3]) - opened, 1)
        self.assertTrue(1.5 < closed_at(slow[0]) - opened < 4)
        self.assertIn(f'location="{public}"', ask(host.port, WSDL, "127.0.3.2"))


DENIED = "<faultcode>soap:Client</faultcode><faultstring>Permission Denied</faultstring>"
CELL = "<DELTACELL_ReportingLevel_4><![CDATA[9]]></DELTACELL_ReportingLevel_4>"
LINK = '<h:OnSuccess xmlns:h="urn:quillmere:Host"><m:{0} xmlns:m="urn:quillmere:WbemProvider">' \
       "{1}</m:{0}></h:OnSuccess>"


class Policy(unittest.TestCase):
    """Who may call what: refused by the host before anything runs, with a warning."""
    def setUp(self):
        self.host = HostProcess(PROGRAM)
        self.addCleanup(self.host.close)
        self.host.users("add", "bob", "--groups", "64", password="bob")
        self.admin, self.bob, gone = (self.logon(*u) for u in (
            ("admin", self.host.password), ("bob", "bob"), ("admin", self.host.password)))
        self.call("Host", "Logoff", gone)
        self.callers = {"anonymous": None, "forged": "f" * 64, "logged off": gone, "user": self.bob}

    def logon(self, user, password):
        return re.search(r"<IdentityToken>(\w+)<", self.call(
            "Host", "Logon", None, f"<User>{user}</User><Password>{password}</Password>")).group(1)

    def call(self, obj, method, token, parameters="", headers="", status=None):
        token = f"<IdentityToken>{token}</IdentityToken>" if token else ""
        answer = call(self.host.port, obj, method, token + parameters, headers)
        self.assertEqual(answer[0], status or answer[0], answer[1])
        return answer[1]

    def level(self):
        table = self.call("WbemProvider", "GetMetadata", self.admin)
        return re.search(r"<TD>ReportingLevel</TD> \n(?:<TD>[^<]*</TD> \n){3}<TD>(\d+)<", table)[1]

    def test_only_an_administrator_calls_wbem_provider_and_user_permissions(self):
        before = self.level()
        calls = [("WbemProvider", m, "") for m in
                 ("GetMetadata", "SessionProvider", "JobProvider", "PoolProvider")]
        calls += [("Administrator", "UserPermissions",
                   "<DELTACELL_0_UserName><![CDATA[admin]]></DELTACELL_0_UserName>"),
                  ("WbemProvider", "PutMetadata", CELL)]
        for obj, method, parameters in calls:
            for caller, token in self.callers.items():
                self.assertIn(DENIED, self.call(obj, method, token, parameters, status=500), caller)
            self.assertEqual(self.level(), before, method)
            self.call(obj, method, self.admin, parameters, status=200)
        self.assertEqual(self.level(), "9")
        self.assertEqual(self.host.log().count(" WARNING refused WbemProvider#PutMetadata "), 4)

    def test_a_chain_is_bounded_and_every_link_checked_before_any_runs(self):
        pools, started = LINK.format("PoolProvider", ""), time.monotonic()
        answer = self.call("WbemProvider", "PoolProvider", None, headers=pools * 4000)
        self.assertLess(time.monotonic() - started, 2.0, "4,000 links took too long to refuse")
        self.assertIn("More than 16 OnSuccess headers", answer)
        self.call("WbemProvider", "PoolProvider", self.admin, headers=pools * 16, status=200)
        before = self.level()
        link = LINK.format("PutMetadata", f"<IdentityToken>{self.bob}</IdentityToken>" + CELL)
        self.assertIn(DENIED, self.call("WbemProvider", "PoolProvider", self.admin, "", link))
        self.assertEqual(self.level(), before)

    def test_a_setting_with_markup_still_gives_a_parseable_answer(self):
        subprocess.run([PROGRAM, "settings", "set", "MSMQ_Name", "<b>&nbsp;"], env=self.host.env,
                       check=True, capture_output=True)
        body = self.call("WbemProvider", "GetMetadata", self.admin, status=200)
        self.assertIn("<TD>StringValue</TD> \n<TD><b>&nbsp;</TD>",
                      xml.etree.ElementTree.fromstring(body).find(".//XMLDATA").text)
        self.assertIn(" WARNING The document of WbemProvider#GetMetadata is not well-formed XML",
                      self.host.log())



class Tls(unittest.TestCase):
    def test_https_serves_the_same_service_over_tls_1_2_or_newer(self):
        tls(PROGRAM)


class MachineFiles(unittest.TestCase):
    def test_nothing_in_a_fresh_prefix_is_open_to_others(self):
        machine_files(PROGRAM)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[2:])  # the test cases to run, or all
