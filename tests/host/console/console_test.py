"""The console in headless Chromium against `quillmere serve` on a fresh prefix; what the
page shows is checked against the module's answer to the same call, made over plain HTTP."""
import os
import subprocess
import sys
import time
import unittest
import urllib.error
import urllib.request

import lxml.etree as etree
from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "server"))
from host_process import HostProcess  # noqa: E402

PROGRAM, SCREENSHOTS = sys.argv[1], sys.argv[2]
SESSIONS = int(os.environ.get("QUILLMERE_CONSOLE_SESSIONS", "1000"))
MARKUP = "<img src=x onerror=alert(1)>"
GREETING_MOF = r"""#pragma namespace("\\\\.\\root\\cimv2\\quillmere")
instance of Metadata { SettingName = "Greeting"; CIMTYPE = 8; StringValue = "hello";
  ResponsibleObject = "Console"; Description = "A text setting"; };"""
SHOWN_ROWS = """const table = document.querySelector('#view table'); if (!table) return [[], []];
  const texts = (row) => [...row.cells].map((c) => c.querySelector('input')?.value ?? c.textContent.trim());
  return [texts(table.tHead.rows[0]), [...table.tBodies[0].rows].map(texts)];"""


def soap(url, obj, method, **parameters):  # (HTTP status, the answer's element or its fault)
    body = "".join(f"<{k}>{v}</{k}>" for k, v in parameters.items())
    envelope = (f'<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body>'
                f'<m:{method} xmlns:m="urn:quillmere:{obj}">{body}</m:{method}></soap:Body></soap:Envelope>')
    request = urllib.request.Request(url, envelope.encode(), {
        "Content-Type": "text/xml", "SOAPAction": f'"urn:quillmere:{obj}#{method}"'})
    try:
        with urllib.request.urlopen(request) as answer:
            status, text = answer.status, answer.read()
    except urllib.error.HTTPError as error:
        status, text = error.code, error.read()
    return status, etree.fromstring(text).find(".//{*}Body")[0]


def expected_rows(answer):  # (column titles or None, rows of cell texts) as the document says
    xmldata = answer.find("XMLDATA")
    elements = list(xmldata) or etree.fromstring(f"<X>{xmldata.text}</X>", etree.XMLParser(recover=True))
    for element in elements:
        name = etree.QName(element).localname
        if name == "TABLE":
            return None, [[td.text or "" for td in tr] for tr in element.iter("TR")]
        if name == "QMSDIALOG":
            return None, [[s.get("id"), s.get("user")] for s in element.find("QMSDIALOGCONTENT")[0]]
        if name == "QMSSPREADSHEET":
            titles, rows = [v.text for v in element.iter("{*}VARNAME")], []
            for row in element.iter("{*}ROW", "{*}TR"):
                cells = [c.text or "" for c in row if etree.QName(c).localname in ("CASENAME", "CELL", "TD")]
                rows.append(cells[1:] if row.tag.endswith("TR") and len(cells) > len(titles) else cells)
            return titles, rows


class ConsoleTest(unittest.TestCase):
    serve_arguments = ()

    def setUp(self):
        self.host = HostProcess(PROGRAM, *self.serve_arguments)
        self.addCleanup(self.host.close)
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--window-size=1280,900"):
            options.add_argument(argument)
        self.browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        self.addCleanup(self.browser.quit)
        self.addCleanup(lambda: os.makedirs(SCREENSHOTS, exist_ok=True) or self.browser.save_screenshot(
            os.path.join(SCREENSHOTS, self.id().split(".")[-1] + ".png")))
        self.wait = WebDriverWait(self.browser, 30)

    def quillmere(self, *arguments, env={}, **options):
        return subprocess.run([PROGRAM, *arguments], env=dict(self.host.env, **env), text=True,
                              capture_output=True, check=True, **options).stdout

    def call(self, obj, method, **parameters):
        return soap(self.host.url, obj, method, IdentityToken=self.token(), **parameters)[1]

    def token(self):
        return self.browser.execute_script("return sessionStorage.getItem('quillmere.token')")

    def log_on(self, user="admin", password=None, rendered=True):
        self.browser.get(self.host.url[:-len("soap")])
        self.view = self.browser.find_element(By.ID, "view")
        self.browser.find_element(By.ID, "logon-user").send_keys(user)
        self.browser.find_element(By.ID, "logon-password").send_keys(password or self.host.password)
        self.do(lambda: self.browser.find_element(By.ID, "logon-submit").click(), rendered)

    def do(self, action, rendered=True):  # and waits for the view's next rendering
        before = self.view.get_attribute("data-renders")
        action()
        if rendered:
            self.wait.until(lambda _: self.view.get_attribute("data-renders") != before)

    def open(self, text):
        self.do(lambda: self.browser.find_element(By.XPATH, f"//nav//button[.='{text}']").click())

    def shown_rows(self):
        return self.browser.execute_script(SHOWN_ROWS)

    def message(self, id="view-message"):
        element = self.browser.find_element(By.ID, id)
        return self.wait.until(lambda _: element.is_displayed() and element.text)

    def apply_setting(self, name, value):
        field = self.browser.find_element(By.CSS_SELECTOR, f"input[aria-label='Value of {name}']")
        field.clear()
        field.send_keys(value)
        self.do(lambda: self.browser.find_element(By.XPATH, "//button[.='Apply Changes']").click())


class Views(ConsoleTest):
    def test_every_menu_item_shows_the_module_answer(self):
        self.log_on()
        soap(self.host.url, "Host", "SubmitJob", IdentityToken=self.token(), Name="nightly")
        items = [(i.get("text"), i.findtext("SoapObject"), i.findtext("SoapMethod"))
                 for i in self.call("Administrator", "UserList").iter("QMSMENUITEM")]
        self.assertEqual([b.text for b in self.browser.find_elements(By.CSS_SELECTOR, "nav button")],
                         [text for text, _, _ in items])
        for text, obj, method in items:
            with self.subTest(text):
                self.open(text)
                titles, rows = expected_rows(self.call(obj, method))
                page_titles, page_rows = self.shown_rows()
                if titles:
                    self.assertEqual(page_titles[-len(titles):], titles)
                self.assertEqual(len(page_rows), len(rows))
                for row, page_row in zip(rows, page_rows):
                    if method == "GetMetadata":  # name and value
                        row, page_row = [row[0], row[4]], [page_row[0], page_row[4]]
                    elif method == "PoolProvider":  # the counts move with every request
                        row = row[:2]
                    self.assertEqual(page_row[:len(row)], row)

    def test_a_view_has_a_url_for_reload_bookmarks_and_history(self):
        self.log_on()
        self.open("Sessions")
        self.assertEqual(self.browser.current_url.split("#")[1], "/Administrator/AdminSessionList")
        self.open("Settings")
        self.do(self.browser.back)
        self.assertEqual(self.title(), "Sessions")
        self.assertEqual(self.reloaded(), ("Sessions", "2"))  # the user list, then the view
        # A URL may name only a view of the module's menu.
        self.browser.get(self.host.url[:-len("soap")] + "#/WbemProvider/PutMetadata")
        self.assertEqual(self.reloaded(), ("Users", "1"))

    def title(self):
        return self.browser.find_element(By.ID, "view-title").text

    def reloaded(self):  # the title and renderings once the reloaded page is done
        self.browser.refresh()
        self.view = self.browser.find_element(By.ID, "view")
        # The view the URL names opens in the same task as the user list's rendering ends,
        # so the page is not seen idle between the two.
        self.wait.until(lambda _: self.view.get_attribute("aria-busy") == "false")
        return self.title(), self.view.get_attribute("data-renders")

    def test_user_permissions_open_from_the_user_list(self):
        self.log_on()
        self.do(lambda: self.browser.find_element(By.CSS_SELECTOR, "button[aria-label='Open admin']").click())
        titles, rows = expected_rows(self.call("Administrator", "UserPermissions",
                                               DELTACELL_admin_Edit="<![CDATA[admin]]>"))
        self.assertEqual(self.shown_rows(), [["Case", *titles], rows])

    def test_a_live_view_refreshes_until_paused(self):
        self.log_on()
        self.open("Sessions")
        self.do(lambda: None)  # the timer's own refresh
        self.browser.find_element(By.ID, "pause").click()
        self.assertEqual(self.browser.find_element(By.ID, "live-status").text, "Refresh paused")
        renders = self.view.get_attribute("data-renders")
        time.sleep(6)
        self.assertEqual(self.view.get_attribute("data-renders"), renders)


class Settings(ConsoleTest):
    def setUp(self):
        super().setUp()
        with open(os.path.join(self.host.prefix, "greeting.mof"), "w") as mof:
            mof.write(GREETING_MOF)
        self.quillmere("mof", mof.name)
        self.log_on()
        self.open("Settings")

    def test_integer_boolean_and_text_settings_are_stored(self):
        # A boolean given "t" is stored as the integer 1, as the module stores it.
        for name, typed, stored in (("ReportingLevel", "7", "7"), ("LogToMSMQ", "t", "1"),
                                    ("Greeting", "good day", "good day")):
            with self.subTest(name):
                self.apply_setting(name, typed)
                self.assertEqual(self.quillmere("settings", "get", name).strip(), stored)
                table = expected_rows(self.call("WbemProvider", "GetMetadata"))[1]
                self.assertEqual([r[::4] for r in self.shown_rows()[1]], [r[::4] for r in table])

    def test_markup_in_a_setting_shows_as_text_and_runs_nothing(self):
        self.quillmere("settings", "set", "MSMQ_Name", MARKUP)
        self.apply_setting("Greeting", MARKUP)
        shown = {row[0]: row[4] for row in self.shown_rows()[1]}
        self.assertEqual((shown["Greeting"], shown["MSMQ_Name"]), (MARKUP, MARKUP))
        self.assertEqual(self.browser.find_elements(By.CSS_SELECTOR, "#view img"), [])
        with self.assertRaises(NoAlertPresentException):
            self.browser.switch_to.alert.text


class Refusals(ConsoleTest):
    serve_arguments = ("--session-timeout", "1")

    def test_wrong_password_shows_the_server_message(self):
        self.log_on(password="wrong", rendered=False)
        fault = soap(self.host.url, "Host", "Logon", User="admin", Password="wrong")[1]
        self.assertEqual(self.message("logon-reason"), fault.findtext("faultstring"))

    def test_a_non_administrator_is_refused(self):
        self.quillmere("users", "add", "reader", "--groups", "2", "--password-stdin", input="reader pw")
        self.log_on("reader", "reader pw", rendered=False)
        self.assertEqual(self.message(), "Permission Denied: this needs a member of QMS_ADMIN, "
                                         "and reader is not one.")

    def test_an_expired_session_brings_back_the_logon_form(self):
        self.log_on()
        time.sleep(7)  # past the timeout and the server's next sweep
        self.browser.find_element(By.XPATH, "//nav//button[.='Settings']").click()
        self.assertIn("timed out", self.message("logon-reason"))
        self.assertIsNone(self.token())


class Listings(ConsoleTest):
    serve_arguments = ("--max-sessions", str(SESSIONS + 16), "--max-sessions-per-user", str(SESSIONS + 16))

    def test_a_long_session_listing_renders(self):
        self.quillmere("users", "add", "bulk", "--groups", "2", "--password-stdin", input="bulk pw",
                       env={"QUILLMERE_TEST_CHEAP_HASHING": "1"})
        # One at a time: parallel logons beyond the hashing pool's room are refused as busy.
        logons = [soap(self.host.url, "Host", "Logon", User="bulk", Password="bulk pw")[0] for _ in range(SESSIONS)]
        self.assertEqual(logons, [200] * SESSIONS)
        self.log_on()
        self.open("Sessions")
        rows = expected_rows(self.call("Administrator", "AdminSessionList"))[1]
        self.assertEqual(len(rows), SESSIONS + 1)
        self.assertEqual([r[:2] for r in self.shown_rows()[1]], rows)
        print(f"{SESSIONS + 1} sessions rendered in {self.view.get_attribute('data-render-ms')} ms, the page "
              f"held {self.view.get_attribute('data-longest-chunk-ms')} ms at most", file=sys.stderr)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[3:])
