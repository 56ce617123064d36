"""zeep loads the host's WSDL and calls every method through soap_echo, a stand-in host."""
import subprocess
import sys
import tempfile
import types
import unittest

import lxml.etree as etree
import zeep
import zeep.exceptions

ECHO = sys.argv[1]


class EchoTransport(zeep.Transport):
    def post_xml(self, address, envelope, headers):
        run = subprocess.run([ECHO, headers["SOAPAction"]], input=etree.tostring(envelope),
                             capture_output=True, check=True)
        status, body = run.stdout.split(b"\n", 1)
        return types.SimpleNamespace(status_code=int(status), content=body, encoding="utf-8",
                                     headers={"Content-Type": "text/xml; charset=utf-8"})


class ZeepThroughTheEcho(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with tempfile.NamedTemporaryFile(suffix=".wsdl") as wsdl:
            subprocess.run([ECHO, "--wsdl", "http://127.0.0.1:1/soap"], stdout=wsdl, check=True)
            cls.client = zeep.Client(wsdl.name, transport=EchoTransport())

    def test_the_host_methods_answer_their_outputs(self):
        host = self.client.bind("Quillmere", "Host")
        self.assertEqual(host.Logon(User="admin", Password="a<b"), "IdentityToken & more")
        self.assertEqual(host.SubmitJob(IdentityToken="t", Name="nightly"), "JobId & more")
        host.CancelJob(IdentityToken="t", JobId="7")
        host.Logoff(IdentityToken="t")

    def test_every_module_method_sends_its_token_and_further_elements(self):
        further_elements = {
            "UserPermissions": [etree.fromstring("<UserName>bob</UserName>")],
            "PutMetadata": [etree.fromstring("<DELTACELL_x_1>5</DELTACELL_x_1>")]}
        calls = [(port.name, method, further_elements.get(method, []))
                 for port in self.client.wsdl.services["Quillmere"].ports.values()
                 if port.name != "Host" for method in port.binding._operations]
        self.assertEqual(len(calls), 9, "every module method is in the WSDL")
        for port, method, further in calls:
            with self.subTest(method=method):
                answer = getattr(self.client.bind("Quillmere", port), method)(
                    IdentityToken="t", _value_1=further)
                [echoed] = answer.XMLDATA._value_1
                got = [(child.tag, child.text) for child in echoed]
                self.assertEqual(echoed.tag, "ECHO")
                self.assertEqual(got, [("IdentityToken", "t")] + [(e.tag, e.text) for e in further])

    def test_a_refusal_raises_a_client_fault(self):
        with self.assertRaises(zeep.exceptions.Fault) as raised:
            self.client.bind("Quillmere", "Administrator").UserList(IdentityToken="deny")
        self.assertEqual((raised.exception.message, raised.exception.code),
                         ("Permission Denied", "soap:Client"))

    def test_the_variables_header_is_sent(self):
        variables = self.client.get_element("{urn:quillmere:Host}Variables")
        header = variables(_value_1=[etree.fromstring("<v>1</v>")])
        message = self.client.create_message(self.client.bind("Quillmere", "WbemProvider"),
                                             "GetMetadata", IdentityToken="t",
                                             _soapheaders=[header])
        self.assertIsNotNone(message.find(".//{urn:quillmere:Host}Variables/v"))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[2:])  # the test cases to run, or all
