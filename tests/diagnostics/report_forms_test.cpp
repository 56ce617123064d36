// The text and XML forms of a report, byte for byte.
#include <gtest/gtest.h>

#include <string>

#include <winport/wide.h>

#include "diagnostics/report_forms.h"

namespace {

struct FormCase {
  DWORD level;
  const char* description;
  const char* location;  // null for none
  LONG errorNumber;
  DWORD threadId;
  const char* xml;
  const char* text;
};

winport::ScopedBstr Bstr(const char* text) {
  return text == nullptr ? winport::ScopedBstr()
                         : winport::ScopedBstr(winport::Utf8ToWide(text).c_str());
}

void PrintTo(const FormCase& c, std::ostream* out) {
  *out << "level " << c.level;
}

class ReportForms : public testing::TestWithParam<FormCase> {};

TEST_P(ReportForms, AreWrittenExactly) {
  const FormCase& c = GetParam();
  quillmere::ReportRecord record;
  record.level = c.level;
  record.processId = 1234;
  record.threadId = c.threadId;
  record.time = Bstr("2006-03-01 14:05:09.042");
  record.source = Bstr("S");
  record.description = Bstr(c.description);
  record.location = Bstr(c.location);
  record.errorNumber = c.errorNumber;
  EXPECT_EQ(winport::WideToUtf8(quillmere::FormatMessageXml(record)), c.xml);
  EXPECT_EQ(winport::WideToUtf8(quillmere::FormatMessageText(record)), c.text);
}

#define HEAD(level) "<Msg><RprtLvl>" level "</RprtLvl><Src>S</Src>"
#define TIME "<Time>2006-03-01 14:05:09.042</Time><PID>1234</PID>"

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportForms,
    testing::Values(
        // A warning of two lines: <br/> in the XML only.
        FormCase{2, "A\nB", nullptr, 0, 2345,
                 HEAD("2") "<Desc>A<br/>B</Desc>" TIME "<TID>2345</TID><ErrNum>0</ErrNum></Msg>",
                 "A\nB\r\n\r\nSource:\t\tS\r\n\r\nReporting level:\t2\r\nProcess (thread):\t1234 "
                 "(2345)"},
        // An error with location and number; numbers read as signed.
        FormCase{
            1, "x", "L", static_cast<LONG>(0x80004005), 0xFFFFFFFF,
            HEAD("1") "<Desc>x</Desc>" TIME
                      "<TID>-1</TID><ErrNum>-2147467259</ErrNum><Loc>L</Loc></Msg>",
            "x\r\n\r\nSource:\t\tS\r\nLocation:\t\tL\r\nError number:\t0x80004005  [-2147467259]"
            "\r\n\r\nReporting level:\t1\r\nProcess (thread):\t1234 (-1)"},
        // A trace record's number is in the XML, not in the text.
        FormCase{8, "*LEAVE*", nullptr, -1, 7,
                 HEAD("8") "<Desc>*LEAVE*</Desc>" TIME "<TID>7</TID><ErrNum>-1</ErrNum></Msg>",
                 "*LEAVE*\r\n\r\nSource:\t\tS\r\n\r\nReporting level:\t8\r\nProcess "
                 "(thread):\t1234 (7)"},
        // Nothing is escaped; an empty location is none; level 3 is not a trace.
        FormCase{3, "a<b&c", "", 5, 7,
                 HEAD("3") "<Desc>a<b&c</Desc>" TIME "<TID>7</TID><ErrNum>5</ErrNum></Msg>",
                 "a<b&c\r\n\r\nSource:\t\tS\r\nError number:\t0x00000005  [5]"
                 "\r\n\r\nReporting level:\t3\r\nProcess (thread):\t1234 (7)"}));

}  // namespace
