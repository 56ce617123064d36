"""zeep loads the host's WSDL and calls every method through soap_echo, a stand-in host."""
import subprocess
import sys
import tempfile
import types

import lxml.etree as etree
import zeep

ECHO = sys.argv[1]


class EchoTransport(zeep.Transport):
    def post_xml(self, address, envelope, headers):
        run = subprocess.run([ECHO, headers["SOAPAction"]], input=etree.tostring(envelope),
                             capture_output=True, check=True)
        status, body = run.stdout.split(b"\n", 1)
        return types.SimpleNamespace(status_code=int(status), content=body, encoding="utf-8",
                                     headers={"Content-Type": "text/xml; charset=utf-8"})


with tempfile.NamedTemporaryFile(suffix=".wsdl") as wsdl:
    subprocess.run([ECHO, "--wsdl", "http://127.0.0.1:1/soap"], stdout=wsdl, check=True)
    client = zeep.Client(wsdl.name, transport=EchoTransport())
    host = client.bind("Quillmere", "Host")

    token = host.Logon(User="admin", Password="a<b")
    assert token == "IdentityToken & more", token
    assert host.SubmitJob(IdentityToken="t", Name="nightly") == "JobId & more"
    host.CancelJob(IdentityToken="t", JobId="7")
    host.Logoff(IdentityToken="t")

    module = {"Administrator": ["AdminSessionList", "AdminJobList", "UserList"],
              "WbemProvider": ["GetMetadata", "JobProvider", "PoolProvider", "SessionProvider"]}
    calls = [(port, name, []) for port, names in module.items() for name in names] + [
        ("Administrator", "UserPermissions", [etree.fromstring("<UserName>bob</UserName>")]),
        ("WbemProvider", "PutMetadata", [etree.fromstring("<DELTACELL_x_1>5</DELTACELL_x_1>")])]
    for port, method, further in calls:
        answer = getattr(client.bind("Quillmere", port), method)(IdentityToken="t",
                                                                  _value_1=further)
        [echoed] = answer.XMLDATA._value_1
        got = [(child.tag, child.text) for child in echoed]
        assert echoed.tag == "ECHO" and got == [("IdentityToken", "t")] + [
            (e.tag, e.text) for e in further], (method, got)

    try:
        client.bind("Quillmere", "Administrator").UserList(IdentityToken="deny")
        sys.exit("a refusal must raise")
    except zeep.exceptions.Fault as fault:
        assert (fault.message, fault.code) == ("Permission Denied", "soap:Client"), fault

    variables = client.get_element("{urn:quillmere:Host}Variables")
    header = variables(_value_1=[etree.fromstring("<v>1</v>")])
    message = client.create_message(client.bind("Quillmere", "WbemProvider"), "GetMetadata",
                                    IdentityToken="t", _soapheaders=[header])
    assert message.find(".//{urn:quillmere:Host}Variables/v") is not None
print("zeep called every method")
