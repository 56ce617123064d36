"""A stock SOAP client, python3-zeep, against `quillmere serve`: it loads the served WSDL,
logs on and calls every method of both objects; each document is compared with the module's
own form, taken byte for byte from the HTTP answer."""
import os
import re
import sys

import lxml.etree as etree
import zeep
import zeep.exceptions

sys.path.insert(0, os.path.dirname(__file__))
from host_process import HostProcess  # noqa: E402

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


def run(host):
    host.users("add", "bob", "--groups", "64", password="bob's secret")
    transport = RecordingTransport()
    client = zeep.Client(host.url + "?wsdl", transport=transport)
    logon = client.bind("Quillmere", "Host")
    admin = client.bind("Quillmere", "Administrator")
    wbem = client.bind("Quillmere", "WbemProvider")

    refused(lambda: logon.Logon(User="admin", Password="wrong"), "Logon failed")
    token = result(logon.Logon(User="admin", Password=host.password), "IdentityToken")
    assert re.fullmatch(r"[0-9a-f]{64}", token), token

    admin.AdminSessionList(IdentityToken=token)
    listing = xmldata(transport)
    session = re.search(r'<SESSION id="(\d+)" user="admin" started="(' + TIME + ')">', listing)
    assert session, listing
    session_id, started = session.groups()
    all_groups = "<QMSGROUPS>" + "".join(f"<{f}/>" for f in FLAGS) + "</QMSGROUPS>"
    expect(dialog("Administrative Session List", "ADMINSESSIONLIST",
                  re.escape(f'<SESSION id="{session_id}" user="admin" started="{started}"><SELF/>'
                            + all_groups + "</SESSION>")),
           listing, "AdminSessionList")

    refused(lambda: logon.SubmitJob(IdentityToken=token, Name="a <b>"), "A job name may not")
    job_id = result(logon.SubmitJob(IdentityToken=token, Name="nightly 'report'"), "JobId")
    admin.AdminJobList(IdentityToken=token)
    expect(dialog("Administrative Session Job List", "ADMINJOBLIST",
                  re.escape(f'<SESSION id="{session_id}" user="admin" started="{started}"><SELF/>'
                            f'<JOBLIST><JOB id="{job_id}" name="nightly \'report\'" '
                            'submitted="') + TIME + re.escape('"/></JOBLIST></SESSION>')),
           xmldata(transport), "AdminJobList")

    admin.UserList(IdentityToken=token)
    with open(os.path.join(host.prefix, "host", "content", "mainmenu.xml")) as menu:
        expect(re.escape(menu.read() + user_sheet("List of Users", "Edit",
                                                  [("admin", "t"), ("bob", "t")], token)),
               xmldata(transport), "UserList")
    admin.UserPermissions(IdentityToken=token)
    expect(re.escape(user_sheet("", "UserName", [("UserName", "enter a name")], token)),
           xmldata(transport), "UserPermissions, the name form")
    admin.UserPermissions(IdentityToken=token, _value_1=delta_cell("DELTACELL_0_UserName", "bob"))
    expect(re.escape(user_sheet("bob", "Permitted",
                                [(f, "true" if f == "QMS_PORTAL" else "false") for f in FLAGS],
                                token)),
           xmldata(transport), "UserPermissions of bob")

    wbem.GetMetadata(IdentityToken=token)
    table = xmldata(transport)
    cell = r"<TD>[^<]*</TD> \n"
    expect(r"<TABLE>(<TR>(" + cell + "){5}</TR>)+</TABLE>", table, "GetMetadata")
    level = re.compile(r"(<TR><TD>ReportingLevel</TD> \n(" + cell + "){2}<TD>IntVal</TD> \n<TD>)"
                       r"(\d+)(</TD> \n</TR>)")
    assert level.search(table) and level.search(table).group(3) != "5", table
    wbem.PutMetadata(IdentityToken=token, _value_1=delta_cell("DELTACELL_ReportingLevel_4", "5"))
    changed = level.sub(r"\g<1>5\g<4>", table)
    assert xmldata(transport) == changed, xmldata(transport)
    wbem.GetMetadata(IdentityToken=token)
    assert xmldata(transport) == changed, "the change did not last"

    wbem.JobProvider(IdentityToken=token)
    expect(class_sheet(4, ["Id", "Name", "Session", "Submitted"],
                       [[re.escape(job_id), "nightly 'report'", session_id, TIME]]),
           xmldata(transport), "JobProvider")
    wbem.SessionProvider(IdentityToken=token)
    expect(class_sheet(4, ["Id", "User", "Workstation", "Started"],
                       [[session_id, "admin", re.escape("127.0.0.1"), started]]),
           xmldata(transport), "SessionProvider")
    wbem.PoolProvider(IdentityToken=token)
    expect(class_sheet(6, ["Name", "Threads", "Busy", "Idle", "Queued", "Completed"],
                       [["http", "4", r"\d+", r"\d+", r"\d+", r"\d+"]]),
           xmldata(transport), "PoolProvider")

    bob = result(logon.Logon(User="bob", Password="bob's secret"), "IdentityToken")
    for method in (admin.AdminSessionList, admin.AdminJobList, admin.UserList):
        refused(lambda: method(IdentityToken=bob), "Permission Denied")
    logon.Logoff(IdentityToken=bob)
    refused(lambda: admin.UserList(IdentityToken=bob), "")
    logon.CancelJob(IdentityToken=token, JobId=job_id)
    refused(lambda: logon.CancelJob(IdentityToken=token, JobId=job_id), "The session has no job")


if __name__ == "__main__":
    served = HostProcess(sys.argv[1])
    try:
        assert served.password, served.banner
        run(served)
        assert served.stop() == 0, served.log()
        assert served.password not in served.log(), "a password reached the log"
    finally:
        served.close()
    print("zeep called every method")
