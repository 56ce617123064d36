"""`quillmere call` against a running host: documents laid out for reading or as sent,
sessions opened for one call and closed after it, edited cells, and the mistakes a person
makes, each with its one-line reason and exit status."""
import http.server
import os
import re
import subprocess
import sys
import threading
import unittest
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "server"))
from host_process import HostProcess  # noqa: E402

PROGRAM = sys.argv.pop(1)
SESSION_LIST = """<QMSDIALOG>
  <QMSDIALOGBAR>
    <QMSSTATIC fontface="system" fontsize="" txtcolor="#FFFFFF" text="Administrative Session List"/>
  </QMSDIALOGBAR>
  <QMSDIALOGCONTENT>
    <ADMINSESSIONLIST>
      <SESSION id="ID" user="admin" started="TIME">
        <SELF/>
        <QMSGROUPS>
          <QMS_ADMIN/>
          <QMS_BATCHABLE/>
          <QMS_UPLOADDATA/>
          <QMS_DOWNLOADFILES/>
          <QMS_UPLOADSCRIPTS/>
          <QMS_PORTALINTERACTIVE/>
          <QMS_PORTAL/>
        </QMSGROUPS>
      </SESSION>
    </ADMINSESSIONLIST>
  </QMSDIALOGCONTENT>
</QMSDIALOG>
"""


class ChunkedAnswer(http.server.BaseHTTPRequestHandler):
    """An HTTP/1.1 server that sends its answer in chunks, split inside the document."""
    protocol_version = "HTTP/1.1"
    body = (b'<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/"><s:Body>'
            b"<R><XMLDATA><a>1</a><b/></XMLDATA></R></s:Body></s:Envelope>")

    def do_POST(self):
        self.rfile.read(int(self.headers["Content-Length"]))
        self.send_response(200)
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        for part in (self.body[:90], self.body[90:], b""):
            self.wfile.write(b"%x\r\n%s\r\n" % (len(part), part))

    def log_message(self, *arguments):
        pass


class CallTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.host = HostProcess(PROGRAM)

    @classmethod
    def tearDownClass(cls):
        cls.host.stop()
        cls.host.close()

    def call(self, *arguments, stdin="", status=0):
        done = subprocess.run([PROGRAM, "call", "--url", self.host.url, *arguments],
                              input=stdin, capture_output=True, text=True, env=self.host.env)
        self.assertEqual(done.returncode, status, done.stderr)
        return done.stdout, done.stderr

    def as_admin(self, *arguments, **expected):
        return self.call(*arguments, "--user", "admin", stdin=self.host.password + "\n",
                         **expected)[0]

    def token(self):
        table, _ = self.call("Host", "Logon", "--param", "User=admin",
                             "--param", "Password=" + self.host.password)
        self.assertRegex(table, r"^NAME {11}VALUE\nIdentityToken  [0-9a-f]{64}\n$")
        return table.split()[-1]

    def test_a_document_is_laid_out_for_reading(self):
        layout = re.escape(SESSION_LIST).replace("ID", r"\d+").replace("TIME", r"[0-9TZ:-]{20}")
        self.assertRegex(self.as_admin("Administrator", "AdminSessionList"), "^" + layout + "$")

    def test_raw_prints_the_document_as_sent_and_user_sessions_end_with_the_call(self):
        self.as_admin("Administrator", "UserList")
        token = self.token()
        envelope = ('<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/">'
                    '<soap:Body><m:AdminSessionList xmlns:m="urn:quillmere:Administrator">'
                    f"<IdentityToken>{token}</IdentityToken></m:AdminSessionList></soap:Body>"
                    "</soap:Envelope>")
        request = urllib.request.Request(self.host.url, envelope.encode(), headers={
            "Content-Type": "text/xml", "SOAPAction": "urn:quillmere:Administrator#AdminSessionList"})
        with urllib.request.urlopen(request) as answer:
            sent = re.search(r"<XMLDATA>(.*)</XMLDATA>", answer.read().decode(), re.S).group(1)
        raw, _ = self.call("Administrator", "AdminSessionList", "--token", token, "--raw")
        self.assertEqual(raw, sent + "\n")
        self.assertEqual(raw.count("<SESSION "), 1, "a session of --user is still open")
        self.call("Host", "Logoff", "--param", "IdentityToken=" + token)

    def test_an_answer_in_chunks_is_read_whole(self):
        server = http.server.HTTPServer(("127.0.0.1", 0), ChunkedAnswer)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        url = f"http://127.0.0.1:{server.server_port}/soap"
        self.assertEqual(self.call("--url", url, "Host", "Logoff", "--raw")[0], "<a>1</a><b/>\n")

    def test_an_edited_cell_changes_a_setting(self):
        row = r"<TD>ReportingLevel</TD>\n(    <TD>.*</TD>\n){3}    <TD>(\d+)</TD>"
        for level in ("6", "5"):
            self.as_admin("WbemProvider", "PutMetadata", "--cell", "ReportingLevel_4=" + level)
            shown = re.search(row, self.as_admin("WbemProvider", "GetMetadata"))
            self.assertEqual(shown.group(2), level)

    def test_mistakes_fail_with_their_reason(self):
        refused = f"127.0.0.1:{self.host.port + 1}"
        cases = [  # (arguments, standard input, exit status, start of standard error)
            (["Administrator", "UserList", "--user", "admin"], "wrong\n", 1,
             "quillmere: soap:Client: Logon failed: unknown user or wrong password\n"),
            (["Administrator", "UserList", "--user", "admin"], "", 1,
             "quillmere: no password given\n"),
            (["Nobody", "Nothing"], "", 1, "quillmere: soap:Client: Permission Denied\n"),
            (["Administrator", "UserList", "--token", "0"], "", 1, "quillmere: soap:Client: "),
            (["Host", "Logon", "--url", "https://127.0.0.1/soap"], "", 1,
             "quillmere: not an http:// URL: https://127.0.0.1/soap\n"),
            (["Host", "Logon", "--url", f"http://{refused}/soap"], "", 1,
             f"quillmere: cannot connect to {refused}: Connection refused\n"),
            (["Host", "Logon", "--url", self.host.url + "/elsewhere"], "", 1,
             "quillmere: the host answered HTTP 404 Not Found\n"),
            (["Host", "Logon", "--param", "1x=2"], "", 1,
             "quillmere: A parameter's name is not an XML name: 1x\n"),
            (["WbemProvider", "PutMetadata", "--cell", "a_1=x]]>"], "", 1,
             "quillmere: A cell's value cannot contain ]]>\n"),
            (["Host", "Logon", "--param", "User"], "", 105, "--param: expected NAME=VALUE\n"),
            (["Host", "Logon", "--user", "a", "--token", "b"], "", 108, "--user excludes --token\n"),
            (["Host", "Logon", "--colour"], "", 109, "The following argument was not expected"),
            (["Host"], "", 106, "method is required\n"),
        ]
        for arguments, stdin, status, reason in cases:
            with self.subTest(arguments=arguments):
                _, error = self.call(*arguments, stdin=stdin, status=status)
                self.assertTrue(error.startswith(reason), error)


if __name__ == "__main__":
    unittest.main()
