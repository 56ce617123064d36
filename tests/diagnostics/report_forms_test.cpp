// The text and XML forms of a report, byte for byte. Every record comes from process 1234
// on thread 0xFFFFFFFF, which reads as -1: numbers are signed.
#include <gtest/gtest.h>

#include <winport/wide.h>

#include "diagnostics/report_forms.h"

namespace {

struct FormCase {
  DWORD level;
  const char* description;
  const char* location;  // null for none
  LONG errorNumber;
  const char* xml;   // between the source and the time
  const char* text;  // up to the reporting level
};

void PrintTo(const FormCase& c, std::ostream* out) {
  *out << "level " << c.level;
}

class ReportForms : public testing::TestWithParam<FormCase> {};

TEST_P(ReportForms, AreWrittenExactly) {
  const FormCase& c = GetParam();
  const auto text = [](const char* utf8) {
    return utf8 ? winport::Utf8ToWide(utf8) : winport::WideString();
  };
  const winport::WideString location = text(c.location), description = text(c.description);
  const auto record =
      quillmere::ReportRecord::Make(c.level, 1234, 0xFFFFFFFF, OLESTR("2006-03-01 14:05:09.042"),
                                    OLESTR("S"), c.location ? location.c_str() : nullptr,
                                    c.description ? description.c_str() : nullptr, c.errorNumber);
  EXPECT_EQ(winport::WideToUtf8(quillmere::FormatMessageXml(*record)),
            "<Msg><RprtLvl>" + std::to_string(c.level) + "</RprtLvl><Src>S</Src>" + c.xml);
  EXPECT_EQ(winport::WideToUtf8(quillmere::FormatMessageText(*record)),
            c.text + ("\r\n\r\nReporting level:\t" + std::to_string(c.level)) +
                "\r\nProcess (thread):\t1234 (-1)");
}

#define TIME "<Time>2006-03-01 14:05:09.042</Time><PID>1234</PID><TID>-1</TID>"

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportForms,
    testing::Values(
        // Line feeds become <br/> in the XML only.
        FormCase{2, "A\nB", nullptr, 0, "<Desc>A<br/>B</Desc>" TIME "<ErrNum>0</ErrNum></Msg>",
                 "A\nB\r\n\r\nSource:\t\tS"},
        FormCase{1, "x", "L", static_cast<LONG>(0x80004005),
                 "<Desc>x</Desc>" TIME "<ErrNum>-2147467259</ErrNum><Loc>L</Loc></Msg>",
                 "x\r\n\r\nSource:\t\tS\r\nLocation:\t\tL\r\nError number:\t0x80004005  "
                 "[-2147467259]"},
        // A trace record's number is in the XML, not in the text.
        FormCase{8, "*LEAVE*", nullptr, -1, "<Desc>*LEAVE*</Desc>" TIME "<ErrNum>-1</ErrNum></Msg>",
                 "*LEAVE*\r\n\r\nSource:\t\tS"},
        // Nothing is escaped; an empty location is none; level 3 is not a trace.
        FormCase{3, "a<b&c", "", 5, "<Desc>a<b&c</Desc>" TIME "<ErrNum>5</ErrNum></Msg>",
                 "a<b&c\r\n\r\nSource:\t\tS\r\nError number:\t0x00000005  [5]"}));

}  // namespace
