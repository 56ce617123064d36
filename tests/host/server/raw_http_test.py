"""`quillmere serve` over plain HTTP: every kind of bad input gets its fault or status and
the server keeps serving; 32 concurrent clients; a stop while clients are still sending;
nothing the server and the commands leave in a fresh prefix is open to others."""
import http.client
import os
import re
import shutil
import ssl
import subprocess
import sys
import tempfile
import threading
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from host_process import HostProcess  # noqa: E402

PROGRAM = sys.argv[1]
MAX_BODY = 65536
SOAP_NS = 'xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"'


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
         "soap:Client", "Unknown SOAP object: Nobody"),
        ("unknown method", (envelope("Administrator", "No"), '"urn:quillmere:Administrator#No"'),
         500, "soap:Client", "SOAP object does not implement the requested method"),
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


def tls(program):
    """With a certificate and its key the same service answers over HTTPS."""
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
        assert connection.getresponse().status == 200 and host.stop() == 0, host.log()
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


class Tls(unittest.TestCase):
    def test_https_serves_the_same_service(self):
        tls(PROGRAM)


class MachineFiles(unittest.TestCase):
    def test_nothing_in_a_fresh_prefix_is_open_to_others(self):
        machine_files(PROGRAM)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[2:])  # the test cases to run, or all
