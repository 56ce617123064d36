"""The console in headless Chromium (Debian's chromium and chromium-driver, python3-selenium)
against `quillmere serve` on a fresh prefix. What the page shows is checked against the
module's answer to the same call, made here over plain HTTP."""
import concurrent.futures
import os
import re
import subprocess
import sys
import tempfile
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
GREETING_MOF = """#pragma namespace("\\\\\\\\.\\\\root\\\\cimv2\\\\quillmere")
instance of Metadata {
  SettingName = "Greeting"; CIMTYPE = 8; StringValue = "hello";
  ResponsibleObject = "Console"; Description = "A text setting";
};
"""


def soap(url, obj, method, **parameters):
    """(HTTP status, answer element or fault element) of one call."""
    body = "".join(f"<{k}>{v}</{k}>" for k, v in parameters.items())
    envelope = (f'<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/">'
                f'<soap:Body><m:{method} xmlns:m="urn:quillmere:{obj}">{body}</m:{method}>'
                "</soap:Body></soap:Envelope>")
    request = urllib.request.Request(url, envelope.encode(), {
        "Content-Type": "text/xml; charset=utf-8", "SOAPAction": f'"urn:quillmere:{obj}#{method}"'})
    try:
        with urllib.request.urlopen(request) as answer:
            status, text = answer.status, answer.read()
    except urllib.error.HTTPError as error:
        status, text = error.code, error.read()
    return status, etree.fromstring(text).find(".//{*}Body")[0]


def document(answer):
    """The XMLDATA document's top-level elements, whether sent as elements or as text."""
    xmldata = answer.find("XMLDATA")
    if len(xmldata):
        return list(xmldata)
    return list(etree.fromstring(f"<XMLDATA>{xmldata.text}</XMLDATA>",
                                 etree.XMLParser(recover=True)))


def expected_rows(elements):
    """(column titles, rows of cell texts) as the module's document states them."""
    for element in elements:
        name = etree.QName(element).localname
        if name == "TABLE":
            return None, [[td.text or "" for td in tr] for tr in element.iter("TR")]
        if name == "QMSSPREADSHEET":
            titles = [v.text for v in element.iter("{*}VARNAME")]
            rows = []
            for row in element.iter("{*}ROW", "{*}TR"):
                cells = [c.text or "" for c in row if etree.QName(c).localname in ("CASENAME", "CELL", "TD")]
                rows.append(cells[1:] if len(cells) == len(titles) + 1 and row.tag.endswith("TR") else cells)
            return titles, rows
        if name == "QMSDIALOG":
            listing = element.find("QMSDIALOGCONTENT")[0]
            return None, [[s.get("id"), s.get("user")] for s in listing]
    raise AssertionError("no document")


class ConsoleTest(unittest.TestCase):
    serve_arguments = ()

    def setUp(self):
        self.host = HostProcess(PROGRAM, *self.serve_arguments)
        self.addCleanup(self.host.close)
        self.root = self.host.url[:-len("soap")]
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                         "--window-size=1280,900"):
            options.add_argument(argument)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        self.browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        self.addCleanup(self.browser.quit)
        self.addCleanup(self.screenshot)
        self.wait = WebDriverWait(self.browser, 30)

    def screenshot(self):
        os.makedirs(SCREENSHOTS, exist_ok=True)
        self.browser.save_screenshot(os.path.join(SCREENSHOTS, self.id().split(".")[-1] + ".png"))

    def quillmere(self, *arguments, **env):
        return subprocess.run([PROGRAM, *arguments], env=dict(self.host.env, **env), text=True,
                              capture_output=True, check=True).stdout

    def call(self, obj, method, **parameters):
        return soap(self.host.url, obj, method, **parameters)

    def log_on(self, user="admin", password=None):
        self.browser.get(self.root)
        self.browser.find_element(By.ID, "logon-user").send_keys(user)
        self.browser.find_element(By.ID, "logon-password").send_keys(password or self.host.password)
        self.browser.find_element(By.ID, "logon-submit").click()

    def token(self):
        return self.browser.execute_script("return sessionStorage.getItem('quillmere.token')")

    def open(self, text):
        before = self.browser.find_element(By.ID, "view").get_attribute("data-rendered")
        self.browser.find_element(By.XPATH, f"//nav//button[normalize-space()='{text}']").click()
        return self.rendered(before)

    def rendered(self, before=None):
        """Waits for a new rendering of the view; the view element."""
        view = self.browser.find_element(By.ID, "view")
        self.wait.until(lambda _: view.get_attribute("aria-busy") == "false" and
                        view.get_attribute("data-render-ms") and
                        (before is None or self.browser.execute_script(
                            "return document.getElementById('view').dataset.renderMs") != before))
        return view

    def shown_rows(self):
        """(column titles, rows) of the view's first table, inputs read by their value."""
        return self.browser.execute_script("""
            const table = document.querySelector('#view table');
            if (!table) return [[], []];
            const texts = (row) => [...row.cells].map((c) => {
              const input = c.querySelector('input');
              return input ? input.value : c.textContent.trim();
            });
            return [texts(table.tHead.rows[0]), [...table.tBodies[0].rows].map(texts)];""")

    def message(self, id="view-message"):
        element = self.browser.find_element(By.ID, id)
        self.wait.until(lambda _: element.is_displayed())
        return element.text

    def settings_table(self):
        return expected_rows(document(self.call("WbemProvider", "GetMetadata", IdentityToken=self.token())[1]))[1]

    def apply_setting(self, name, value):
        field = self.browser.find_element(By.CSS_SELECTOR, f"input[aria-label='Value of {name}']")
        field.clear()
        field.send_keys(value)
        before = self.browser.find_element(By.ID, "view").get_attribute("data-render-ms")
        self.browser.find_element(By.XPATH, "//button[text()='Apply Changes']").click()
        self.rendered(before)


class Views(ConsoleTest):
    def test_every_menu_item_shows_the_module_answer(self):
        self.log_on()
        self.rendered()
        self.call("Host", "SubmitJob", IdentityToken=self.token(), Name="nightly")
        status, users = self.call("Administrator", "UserList", IdentityToken=self.token())
        items = [(i.get("text"), i.findtext("SoapObject"), i.findtext("SoapMethod"))
                 for i in document(users)[0].iter("QMSMENUITEM")]
        shown = [b.text for b in self.browser.find_elements(By.CSS_SELECTOR, "nav button")]
        self.assertEqual(shown, [text for text, _, _ in items])
        for text, obj, method in items:
            with self.subTest(text):
                self.open(text)
                titles, rows = expected_rows(document(self.call(obj, method, IdentityToken=self.token())[1]))
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

    def test_user_permissions_open_from_the_user_list(self):
        self.log_on()
        view = self.rendered()
        before = view.get_attribute("data-render-ms")
        self.browser.find_element(By.CSS_SELECTOR, "button[aria-label='Open admin']").click()
        self.rendered(before)
        answer = self.call("Administrator", "UserPermissions", IdentityToken=self.token(),
                           DELTACELL_admin_Edit="<![CDATA[admin]]>")[1]
        titles, rows = expected_rows(document(answer))
        self.assertEqual(self.shown_rows(), [["Case", *titles], rows])
        self.assertEqual(self.browser.find_element(By.CSS_SELECTOR, "#view caption").text, "admin")

    def test_a_live_view_refreshes_until_paused(self):
        self.log_on()
        self.rendered()
        view = self.open("Sessions")
        first = view.get_attribute("data-render-ms")
        self.rendered(first)  # the timer's own refresh
        self.browser.find_element(By.ID, "pause").click()
        paused = self.browser.find_element(By.ID, "live-status").text
        self.assertEqual(paused, "Refresh paused")
        last = view.get_attribute("data-render-ms")
        time.sleep(6)
        self.assertEqual(view.get_attribute("data-render-ms"), last)


class Settings(ConsoleTest):
    def setUp(self):
        super().setUp()
        with tempfile.NamedTemporaryFile("w", suffix=".mof", delete=False) as mof:
            mof.write(GREETING_MOF)
        self.addCleanup(os.unlink, mof.name)
        self.quillmere("mof", mof.name)
        self.log_on()
        self.rendered()
        self.open("Settings")

    def test_integer_boolean_and_text_settings_are_stored(self):
        for name, typed, stored in (("ReportingLevel", "7", "7"), ("LogToMSMQ", "t", "1"),
                                    ("Greeting", "good day", "good day")):
            with self.subTest(name):
                self.apply_setting(name, typed)
                self.assertEqual(self.quillmere("settings", "get", name).strip(), stored)
                shown = {row[0]: row[4] for row in self.shown_rows()[1]}
                self.assertEqual(shown, {row[0]: row[4] for row in self.settings_table()})

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
        self.log_on(password="not the password")
        fault = self.call("Host", "Logon", User="admin", Password="not the password")[1]
        self.assertEqual(self.message("logon-reason"), fault.findtext("faultstring"))

    def test_a_non_administrator_is_refused(self):
        self.host.users("add", "reader", "--groups", "2", "--password-stdin", password="reader pw")
        self.log_on("reader", "reader pw")
        self.assertIn("Permission Denied", self.message())
        self.assertIn("not one", self.message())
        self.assertTrue(self.browser.find_element(By.ID, "console-page").is_displayed())

    def test_an_expired_session_brings_back_the_logon_form(self):
        self.log_on()
        self.rendered()
        time.sleep(7)  # past the timeout and the server's next sweep
        self.browser.find_element(By.XPATH, "//nav//button[normalize-space()='Settings']").click()
        self.assertIn("timed out", self.message("logon-reason"))
        self.assertIsNone(self.token())


class Listings(ConsoleTest):
    serve_arguments = ("--max-sessions", str(SESSIONS + 16), "--max-sessions-per-user",
                       str(SESSIONS + 16))

    def test_a_long_session_listing_renders(self):
        subprocess.run([PROGRAM, "users", "add", "bulk", "--groups", "2", "--password-stdin"],
                       env=dict(self.host.env, QUILLMERE_TEST_CHEAP_HASHING="1"),
                       input="bulk pw\n", text=True, check=True)
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            answers = list(pool.map(lambda _: self.call("Host", "Logon", User="bulk",
                                                        Password="bulk pw")[0], range(SESSIONS)))
        self.assertEqual(answers, [200] * SESSIONS)
        self.log_on()
        self.rendered()
        view = self.open("Sessions")
        rows = expected_rows(document(self.call("Administrator", "AdminSessionList",
                                                IdentityToken=self.token())[1]))[1]
        page_rows = self.shown_rows()[1]
        self.assertEqual(len(rows), SESSIONS + 1)
        self.assertEqual([r[:2] for r in page_rows], rows)
        print(f"{SESSIONS + 1} sessions rendered in {view.get_attribute('data-render-ms')} ms",
              file=sys.stderr)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[3:])
