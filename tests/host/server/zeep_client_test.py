"""A stock SOAP client, python3-zeep, against `quillmere serve`: it loads the served WSDL,
logs on and calls every method of both objects; each document is compared with the module's
own form, taken byte for byte from the HTTP answer."""
import os
import re
import sys
import unittest

import lxml.etree as etree
import zeep
import zeep.exceptions

sys.path.insert(0, os.path.dirname(__file__))
from host_process import HostProcess  # noqa: E402

PROGRAM = sys.argv[1]
TIME = r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ"
FLAGS = ["QMS_ADMIN", "QMS_BATCHABLE", "QMS_UPLOADDATA", "QMS_DOWNLOADFILES",
         "QMS_UPLOADSCRIPTS", "QMS_PORTALINTERACTIVE", "QMS_PORTAL"]


class RecordingTransport(zeep.Transport):
    """Keeps the body of the last answer as the server sent it."""

    def post_xml(self, address, envelope, headers):
        self.last = super().post_xml(address, envelope, headers)
        return self.last


def xmldata(transport):
    return re.search(r"<XMLDATA>(.*)</XMLDATA>", transport.last.content.decode(), re.S).group(1)


def expect(pattern, text, what):
    """pattern: the exact text as a regular expression; groups stand for what varies."""
    assert re.fullmatch(pattern, text, re.S), f"{what}:\n{text}\n---- expected ----\n{pattern}"


def dialog(title, element, body):
    e = re.escape
    return (e(f'<QMSDIALOG><QMSDIALOGBAR><QMSSTATIC fontface="system" fontsize="" '
              f'txtcolor="#FFFFFF" text="{title}"/> \n</QMSDIALOGBAR> \n<QMSDIALOGCONTENT>'
              f"<{element}>") + body + e(f"</{element}> \n</QMSDIALOGCONTENT> \n</QMSDIALOG>"))


def user_sheet(header, variable, rows, token):
    head = (f'<QMSSPREADSHEET xmlns="urn:quillmere:spreadsheet" '
            f'xmlns:sp="urn:quillmere:spreadsheet" sp:varcount="1" sp:casecount="0" '
            f'sp:fordisplay="HTMLEdit"><LABELING><INFOBOX/> \n'
            + (f"<HEADER>{header}</HEADER>" if header else "<HEADER/>")
            + f" \n</LABELING> \n<VARINFO><VARDATA><VARNAME>{variable}</VARNAME> \n</VARDATA>"
            " \n</VARINFO><CONTENT><RFORMAT> \n")
    body = "".join(f"<ROW><CASENAME>{n}</CASENAME> \n<CELL>{c}</CELL> \n</ROW>" for n, c in rows)
    close = ('</RFORMAT></CONTENT></QMSSPREADSHEET><QMSBUTTON name="EDITQMSSPREADSHEET" '
             'text="Apply Changes" width="130"><SoapObject>Administrator</SoapObject> \n'
             "<SoapMethod>UserPermissions</SoapMethod> \n"
             '<QMSIMAGE name="Image" src="images/icons/ss.gif"/> \n'
             f"<IdentityToken>{token}</IdentityToken> \n</QMSBUTTON>")
    return head + body + close


def class_sheet(varcount, properties, rows):
    """varcount: the method's own; rows: lists of regular expressions, one per property."""
    e = re.escape
    edit = '<VFORMAT  sp:edit="no"/> \n'
    out = e('<QMSSPREADSHEET xmlns="urn:quillmere:spreadsheet" '
            'xmlns:sp="urn:quillmere:spreadsheet" '
            f'sp:varcount="{varcount}" sp:casecount="0" sp:fordisplay="yes">'
            "<LABELING><INFOBOX/> \n<HEADER/> \n \n</LABELING>")
    if rows:
        out += e("<VARINFO>" + "".join(
            f"<VARDATA><VARNAME>{p}</VARNAME> \n{edit}" + (" \n" if i == 0 else "") + "</VARDATA>"
            for i, p in enumerate(properties)) + "</VARINFO><CONTENT><RFORMAT>")
        for i, row in enumerate(rows):
            out += e(f"<TR><TD>{properties[0]}</TD> \n" + (" \n \n" if i == 0 else ""))
            out += "".join(f"<TD>{cell}</TD>" for cell in row) + e("</TR>")
        out += e("</RFORMAT></CONTENT>")
    return out + e("</QMSSPREADSHEET>")


def delta_cell(name, value):
    cell = etree.Element(name)
    cell.text = etree.CDATA(value)
    return [cell]


def result(answer, name):
    """zeep answers the value itself, or header and body where the output declares headers."""
    return answer if isinstance(answer, str) else answer["body"][name]


def refused(call, text):
    try:
        call()
    except zeep.exceptions.Fault as fault:
        assert fault.code == "soap:Client" and fault.message.startswith(text), fault.message
        return
    raise AssertionError("no fault: " + text)


class ZeepClient(unittest.TestCase):
    """Each scenario on a server of its own, with bob, a portal user, beside the administrator."""

    def setUp(self):
        self.host = HostProcess(PROGRAM)
        self.addCleanup(self.host.close)
        self.assertTrue(self.host.password, self.host.banner)
        self.host.users("add", "bob", "--groups", "64", password="bob's secret")
        self.transport = RecordingTransport()
        client = zeep.Client(self.host.url + "?wsdl", transport=self.transport)
        self.client = client
        self.logon = client.bind("Quillmere", "Host")
        self.admin = client.bind("Quillmere", "Administrator")
        self.wbem = client.bind("Quillmere", "WbemProvider")
        self.token = result(self.logon.Logon(User="admin", Password=self.host.password),
                            "IdentityToken")

    def tearDown(self):
        self.assertEqual(self.host.stop(), 0, self.host.log())
        self.assertNotIn(self.host.password, self.host.log(), "a password reached the log")

    def session(self):
        """The administrator's session: its id and start, from AdminSessionList."""
        self.admin.AdminSessionList(IdentityToken=self.token)
        listing = xmldata(self.transport)
        session = re.search(r'<SESSION id="(\d+)" user="admin" started="(' + TIME + ')">',
                            listing)
        self.assertTrue(session, listing)
        return session.groups()

    def test_logon_hands_out_a_token_and_refuses_a_wrong_password(self):
        refused(lambda: self.logon.Logon(User="admin", Password="wrong"), "Logon failed")
        self.assertRegex(self.token, r"^[0-9a-f]{64}$")

    def test_session_and_job_listings(self):
        session_id, started = self.session()
        all_groups = "<QMSGROUPS>" + "".join(f"<{f}/>" for f in FLAGS) + "</QMSGROUPS>"
        expect(dialog("Administrative Session List", "ADMINSESSIONLIST",
                      re.escape(f'<SESSION id="{session_id}" user="admin" started="{started}">'
                                "<SELF/>" + all_groups + "</SESSION>")),
               xmldata(self.transport), "AdminSessionList")

        refused(lambda: self.logon.SubmitJob(IdentityToken=self.token, Name="a <b>"),
                "A job name may not")
        job_id = result(self.logon.SubmitJob(IdentityToken=self.token, Name="nightly 'report'"),
                        "JobId")
        self.admin.AdminJobList(IdentityToken=self.token)
        expect(dialog("Administrative Session Job List", "ADMINJOBLIST",
                      re.escape(f'<SESSION id="{session_id}" user="admin" started="{started}">'
                                f'<SELF/><JOBLIST><JOB id="{job_id}" '
                                'name="nightly \'report\'" submitted="') + TIME +
                      re.escape('"/></JOBLIST></SESSION>')),
               xmldata(self.transport), "AdminJobList")
        self.logon.CancelJob(IdentityToken=self.token, JobId=job_id)
        refused(lambda: self.logon.CancelJob(IdentityToken=self.token, JobId=job_id),
                "The session has no job")

    def test_user_sheets(self):
        token = self.token
        self.admin.UserList(IdentityToken=token)
        with open(os.path.join(self.host.prefix, "host", "content", "mainmenu.xml")) as menu:
            expect(re.escape(menu.read() + user_sheet("List of Users", "Edit",
                                                      [("admin", "t"), ("bob", "t")], token)),
                   xmldata(self.transport), "UserList")
        self.admin.UserPermissions(IdentityToken=token)
        expect(re.escape(user_sheet("", "UserName", [("UserName", "enter a name")], token)),
               xmldata(self.transport), "UserPermissions, the name form")
        self.admin.UserPermissions(IdentityToken=token,
                                   _value_1=delta_cell("DELTACELL_0_UserName", "bob"))
        expect(re.escape(user_sheet("bob", "Permitted",
                                    [(f, "true" if f == "QMS_PORTAL" else "false")
                                     for f in FLAGS], token)),
               xmldata(self.transport), "UserPermissions of bob")

    def test_an_edited_setting_is_answered_and_lasts(self):
        self.wbem.GetMetadata(IdentityToken=self.token)
        table = xmldata(self.transport)
        cell = r"<TD>[^<]*</TD> \n"
        expect(r"<TABLE>(<TR>(" + cell + "){5}</TR>)+</TABLE>", table, "GetMetadata")
        level = re.compile(r"(<TR><TD>ReportingLevel</TD> \n(" + cell + r"){2}<TD>IntVal</TD> \n"
                           r"<TD>)(\d+)(</TD> \n</TR>)")
        self.assertTrue(level.search(table) and level.search(table).group(3) != "5", table)
        self.wbem.PutMetadata(IdentityToken=self.token,
                              _value_1=delta_cell("DELTACELL_ReportingLevel_4", "5"))
        changed = level.sub(r"\g<1>5\g<4>", table)
        self.assertEqual(xmldata(self.transport), changed)
        self.wbem.GetMetadata(IdentityToken=self.token)
        self.assertEqual(xmldata(self.transport), changed, "the change did not last")

    def test_an_integer_beyond_32_bits_is_stored_clamped(self):
        level = re.compile(r"<TR><TD>ReportingLevel</TD> \n(<TD>[^<]*</TD> \n){3}<TD>(-?\d+)<")
        for typed, stored in (("99999999999", "2147483647"), ("-99999999999", "-2147483648")):
            self.wbem.PutMetadata(IdentityToken=self.token,
                                  _value_1=delta_cell("DELTACELL_ReportingLevel_4", typed))
            self.assertEqual(level.search(xmldata(self.transport)).group(2), stored, typed)

    def test_class_sheets_of_jobs_sessions_and_pools(self):
        session_id, started = self.session()
        job_id = result(self.logon.SubmitJob(IdentityToken=self.token, Name="nightly 'report'"),
                        "JobId")
        self.wbem.JobProvider(IdentityToken=self.token)
        expect(class_sheet(4, ["Id", "Name", "Session", "Submitted"],
                           [[re.escape(job_id), "nightly 'report'", session_id, TIME]]),
               xmldata(self.transport), "JobProvider")
        self.wbem.SessionProvider(IdentityToken=self.token)
        expect(class_sheet(4, ["Id", "User", "Workstation", "Started"],
                           [[session_id, "admin", re.escape("127.0.0.1"), started]]),
               xmldata(self.transport), "SessionProvider")
        self.wbem.PoolProvider(IdentityToken=self.token)
        expect(class_sheet(6, ["Name", "Threads", "Busy", "Idle", "Queued", "Completed"],
                           [["http", "4", r"\d+", r"\d+", r"\d+", r"\d+"]]),
               xmldata(self.transport), "PoolProvider")

    def test_every_module_method_of_the_wsdl_is_served(self):
        """The WSDL is the list of methods a client sees: the module's objects serve each."""
        ports = self.client.wsdl.services["Quillmere"].ports.values()
        methods = [(port.name, name) for port in ports if port.name != "Host"
                   for name in port.binding._operations]
        self.assertTrue(methods)
        for port, name in methods:
            with self.subTest(method=f"{port}#{name}"):
                try:
                    getattr(self.client.bind("Quillmere", port), name)(
                        IdentityToken=self.token)
                except zeep.exceptions.Fault as fault:  # PutMetadata wants an edited cell
                    self.assertNotIn("does not implement", fault.message)
                    self.assertNotIn("Unknown SOAP object", fault.message)

    def test_a_user_is_refused_the_administrators_methods_and_a_logged_off_token_is_dead(self):
        bob = result(self.logon.Logon(User="bob", Password="bob's secret"), "IdentityToken")
        for method in (self.admin.AdminSessionList, self.admin.AdminJobList, self.admin.UserList):
            refused(lambda: method(IdentityToken=bob), "Permission Denied")
        self.logon.Logoff(IdentityToken=bob)
        refused(lambda: self.admin.UserList(IdentityToken=bob), "")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[2:])  # the test cases to run, or all
