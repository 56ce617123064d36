"""`quillmere mof`, `wmi` and `settings` end to end, each test on a fresh prefix."""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

PROGRAM, HOST_MOF = sys.argv[1], sys.argv[2]
QUILLMERE_NAMESPACE = '#pragma namespace("\\\\\\\\.\\\\root\\\\cimv2\\\\quillmere")\n'


class Prefix(unittest.TestCase):
    def setUp(self):
        self.prefix = tempfile.mkdtemp(prefix="quillmere-cli-")
        self.addCleanup(shutil.rmtree, self.prefix, ignore_errors=True)
        self.ok("mof", HOST_MOF)

    def run_program(self, *arguments, env_prefix=None):
        env = dict(os.environ, QUILLMERE_PREFIX=env_prefix or self.prefix)
        return subprocess.run([PROGRAM, *arguments], env=env, capture_output=True, text=True)

    def ok(self, *arguments):
        done = self.run_program(*arguments)
        self.assertEqual(done.returncode, 0, done.stderr)
        return done.stdout

    def fails(self, *arguments):
        done = self.run_program(*arguments)
        self.assertEqual(done.returncode, 1, done.stdout)
        self.assertEqual(done.stdout, "")
        return done.stderr

    def write(self, name, text):
        path = os.path.join(self.prefix, name)
        with open(path, "w", encoding="utf-8") as file:
            file.write(text)
        return path


def items_mof(count, broken_line=None):
    lines = ['#pragma namespace("\\\\\\\\.\\\\root")', 'instance of __Namespace { Name = "big"; };',
             '#pragma namespace("big")',
             '/* items */ class Item { [key] string Name; sint32 Size; string Note; };']
    for i in range(count):
        lines.append('instance of Item { Name = "n%d"; Size = %d; Note = "a;b}c // no"; };' % (i, i))
    if broken_line:
        lines[broken_line - 1] = 'instance of Missing { Name = "x"; };'
    return "\n".join(lines) + "\n"


class MofTest(Prefix):
    def test_a_fresh_prefix_gets_the_host_classes(self):
        self.assertEqual(self.ok("mof", HOST_MOF), HOST_MOF + ": 4 classes, 8 instances stored\n")
        self.assertEqual(self.ok("wmi", "namespaces"),
                         "Namespace\nroot\nroot\\cimv2\nroot\\cimv2\\quillmere\n")

    def test_errors_name_file_line_and_column_and_a_bad_file_stores_nothing(self):
        cases = [
            ("class Kept { [key] string Name; };\nclass A {\n  sint32 Size\n};\n",
             "{}:5:1: ; expected after the property (0x80044002)"),
            ('class B { [key] string Name; };\ninstance of Nowhere { Name = "x"; };\n',
             "{}:3: the object of lines 3-3 could not be stored: no such class (0x80041010)"),
        ]
        for text, expected in cases:
            path = self.write("case.mof", QUILLMERE_NAMESPACE + text)
            self.assertEqual(self.fails("mof", path), "quillmere: " + expected.format(path) + "\n")
        self.assertEqual(self.fails("wmi", "get", "Kept"), "quillmere: Kept: not found (0x80041002)\n")
        missing = os.path.join(self.prefix, "none.mof")
        self.assertEqual(self.fails("mof", missing),
                         "quillmere: " + missing + ": No such file or directory\n")

    def test_utf16_with_a_byte_order_mark(self):
        path = os.path.join(self.prefix, "wide.mof")
        with open(path, "w", encoding="utf-16") as file:
            file.write(QUILLMERE_NAMESPACE + 'instance of Session { Id = 7; User = "Zoë"; };\n')
        self.assertEqual(self.ok("mof", path), path + ": 0 classes, 1 instance stored\n")
        self.assertIn("User         Zoë\n", self.ok("wmi", "get", "Session=7"))

    def test_a_large_file_shows_progress_and_keeps_its_line_numbers(self):
        done = self.run_program("mof", self.write("big.mof", items_mof(1200)))
        self.assertEqual(done.stdout, self.prefix + "/big.mof: 1 class, 1201 instances stored\n")
        progress = done.stderr.splitlines()
        self.assertGreaterEqual(len(progress), 2)
        self.assertEqual(progress[-1], self.prefix + "/big.mof: objects stored: 1202 of 1202, done")
        items = json.loads(self.ok("wmi", "instances", "Item", "--namespace", "root\\big", "--json"))
        self.assertEqual(len(items), 1200)
        self.assertEqual(self.ok("wmi", "query", "SELECT * FROM Item WHERE Name = 'n1199'",
                                 "--namespace", "root\\big"),
                         'Path               Name   Size  Note\n'
                         'Item.Name="n1199"  n1199  1199  a;b}c // no\n')
        path = self.write("late.mof", items_mof(1200, broken_line=1101))
        self.assertIn(path + ":1101: the object of lines 1101-1101", self.fails("mof", path))


class WmiTest(Prefix):
    SETTING = 'Metadata="MSMQ_Capacity"'

    def test_classes_and_one_object(self):
        self.assertEqual(self.ok("wmi", "classes"),
                         "Class     Superclass  Keys\nJob                   Id\n"
                         "Metadata              SettingName\nSession               Id\n"
                         "VXPool                Name\n")
        self.assertEqual(json.loads(self.ok("wmi", "get", self.SETTING, "--json"))[2],
                         {"Property": "IntVal", "Value": "1000"})

    def test_set_changes_the_stored_instance(self):
        shown = self.ok("wmi", "set", self.SETTING, "IntVal=25", "Description=")
        self.assertEqual(shown, self.ok("wmi", "get", self.SETTING))
        self.assertIn("IntVal             25\n", shown)
        self.assertIn("Description\n", shown)

    def test_mistakes_are_refused_with_a_reason(self):
        cases = [
            (["set", self.SETTING, "IntVal=abc"],
             "IntVal=abc: value does not fit the property's type (0x80041005)"),
            (["set", self.SETTING, "Nope=1"], "no property Nope in Metadata"),
            (["set", self.SETTING, "SettingName=x"], "SettingName is a key: it names the instance"),
            (["set", "Metadata", "IntVal=1"], "Metadata names a class, not an instance"),
            (["set", self.SETTING, "IntVal"], 'expected PROPERTY=VALUE, got "IntVal"'),
            (["get", 'Metadata="Nope"'], 'Metadata="Nope": not found (0x80041002)'),
            (["instances", "Nope"], "Nope: no such class (0x80041010)"),
            (["classes", "root\\nope"], "root\\nope: no such namespace (0x8004100E)"),
            (["query", "SELECT Name FROM Metadata"],
             "SELECT Name FROM Metadata: malformed or unsupported query (0x80041017)"),
        ]
        for arguments, reason in cases:
            self.assertEqual(self.fails("wmi", *arguments), "quillmere: " + reason + "\n")
        self.assertIn("IntVal             1000\n", self.ok("wmi", "get", self.SETTING))

    def test_delete_removes_the_instance_once(self):
        self.assertEqual(self.ok("wmi", "delete", self.SETTING), "Deleted " + self.SETTING + "\n")
        self.assertIn("not found", self.fails("wmi", "delete", self.SETTING))
        names = [row["SettingName"] for row in json.loads(self.ok("wmi", "instances", "Metadata", "--json"))]
        self.assertEqual(len(names), 6)
        self.assertNotIn("MSMQ_Capacity", names)

    def test_usage_errors_exit_non_zero(self):
        for arguments in (["wmi", "bogus"], ["wmi"], ["mof"], ["settings", "set", "ReportingLevel"],
                          ["wmi", "get", "--bogus", "x"]):
            done = self.run_program(*arguments)
            self.assertNotEqual(done.returncode, 0, arguments)
            self.assertNotEqual(done.stderr, "", arguments)


class SettingsTest(Prefix):
    def test_set_stores_a_value_of_the_settings_type_and_refuses_any_other(self):
        self.write("ratio.mof", QUILLMERE_NAMESPACE +
                   'instance of Metadata { SettingName = "Ratio"; CIMTYPE = 4; RealVal = 1.5; };\n')
        self.ok("mof", os.path.join(self.prefix, "ratio.mof"))
        integer = "an integer: give a whole number from -2147483648 to 2147483647"
        cases = [  # name, text given, "type value" stored or what the setting accepts
            ("LogToFile", "F", "boolean 0"),
            ("Ratio", "2.25", "real 2.25"),
            ("MSMQ_Name", "Ünïcode", "string Ünïcode"),
            ("ReportingLevel", "true", integer),
            ("ReportingLevel", "7abc", integer),
            ("LogToEventLog", "yes", "a boolean: give true, false, t, f, 1 or 0"),
            ("Ratio", "2.25xyz", "a real number: give a decimal number such as 2.5 or -1e3"),
            ("MSMQ_Name", "snow ☃", "a text in the system's ANSI code page, which cannot hold it"),
        ]
        for name, text, outcome in cases:
            before = self.ok("settings", "get", name)
            done = self.run_program("settings", "set", name, text, "--json")
            if outcome.startswith(("a ", "an ")):
                self.assertEqual(done.stderr, f'quillmere: {name} is {outcome}, not "{text}"\n')
                self.assertEqual(self.ok("settings", "get", name), before)
            else:
                row = json.loads(done.stdout)[0]
                self.assertEqual(f'{row["Type"]} {row["Value"]}', outcome)

    def test_a_boolean_stays_boolean_however_it_was_stored_before(self):
        # PutMetadata leaves a changed boolean stored as an integer.
        self.write("as_integer.mof", QUILLMERE_NAMESPACE +
                   'instance of Metadata { SettingName = "LogToMSMQ"; CIMTYPE = 3; IntVal = 0; };\n')
        for text in ("true", "true", "false", "true"):
            self.ok("mof", os.path.join(self.prefix, "as_integer.mof"))
            row = json.loads(self.ok("settings", "set", "LogToMSMQ", text, "--json"))[0]
            self.assertEqual((row["Type"], row["Value"]), ("boolean", "1" if text == "true" else "0"))

    def test_list_and_a_missing_setting(self):
        listed = json.loads(self.ok("settings", "list", "--json"))
        self.assertEqual([(row["Name"], row["Type"], row["Value"]) for row in listed[:2]],
                         [("LogToEventLog", "boolean", "1"), ("LogToFile", "boolean", "1")])
        self.assertEqual(len(listed), 7)
        self.assertEqual(self.fails("settings", "set", "Nope", "1"), "quillmere: no setting Nope\n")
        self.assertIn("not found", self.fails("wmi", "get", 'Metadata="Nope"'))

    def test_prefix_option_wins_over_the_environment(self):
        elsewhere = tempfile.mkdtemp(prefix="quillmere-other-")
        self.addCleanup(shutil.rmtree, elsewhere, ignore_errors=True)
        done = self.run_program("settings", "get", "ReportingLevel", "--prefix", self.prefix,
                                env_prefix=elsewhere)
        self.assertEqual((done.returncode, done.stdout), (0, "3\n"))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[3:])  # the test cases to run, or all
