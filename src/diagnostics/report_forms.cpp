#include "report_forms.h"

#include <cstdio>
#include <string_view>

#include "errors/report_sink.h"

namespace quillmere {
namespace {

// Every number of a report reads as a signed 32-bit value.
void AppendNumber(winport::WideString& out, LONG number) {
  char digits[16];
  const int length = std::snprintf(digits, sizeof digits, "%d", static_cast<int>(number));
  out.append(digits, digits + length);
}

void AppendAscii(winport::WideString& out, std::string_view text) {
  out.append(text.begin(), text.end());
}

void AppendElement(winport::WideString& out, std::string_view tag, winport::WideView text) {
  AppendAscii(out, "<");
  AppendAscii(out, tag);
  AppendAscii(out, ">");
  out += text;
  AppendAscii(out, "</");
  AppendAscii(out, tag);
  AppendAscii(out, ">");
}

void AppendElement(winport::WideString& out, std::string_view tag, LONG number) {
  winport::WideString digits;
  AppendNumber(digits, number);
  AppendElement(out, tag, digits);
}

winport::WideString WithBreaks(winport::WideView text) {
  winport::WideString out;
  for (const OLECHAR c : text) {
    if (c == OLESTR('\n'))
      AppendAscii(out, "<br/>");
    else
      out += c;
  }
  return out;
}

}  // namespace

winport::WideString FormatMessageXml(const ReportRecord& record) {
  winport::WideString xml = OLESTR("<Msg>");
  AppendElement(xml, "RprtLvl", static_cast<LONG>(record.level));
  AppendElement(xml, "Src", winport::BstrView(record.source.Get()));
  AppendElement(xml, "Desc", WithBreaks(winport::BstrView(record.description.Get())));
  AppendElement(xml, "Time", winport::BstrView(record.time.Get()));
  AppendElement(xml, "PID", static_cast<LONG>(record.processId));
  AppendElement(xml, "TID", static_cast<LONG>(record.threadId));
  AppendElement(xml, "ErrNum", record.errorNumber);
  const winport::WideView location = winport::BstrView(record.location.Get());
  if (!location.empty()) AppendElement(xml, "Loc", location);
  AppendAscii(xml, "</Msg>");
  return xml;
}

winport::WideString FormatMessageText(const ReportRecord& record) {
  winport::WideString text(winport::BstrView(record.description.Get()));
  AppendAscii(text, "\r\n\r\nSource:\t\t");
  text += winport::BstrView(record.source.Get());
  const winport::WideView location = winport::BstrView(record.location.Get());
  if (!location.empty()) {
    AppendAscii(text, "\r\nLocation:\t\t");
    text += location;
  }
  if (record.errorNumber != 0 && record.level != kLevelTrace) {
    char line[48];
    const int length = std::snprintf(line, sizeof line, "\r\nError number:\t0x%08X  [%d]",
                                     static_cast<unsigned>(record.errorNumber),
                                     static_cast<int>(record.errorNumber));
    AppendAscii(text, std::string_view(line, length));
  }
  AppendAscii(text, "\r\n\r\nReporting level:\t");
  AppendNumber(text, static_cast<LONG>(record.level));
  AppendAscii(text, "\r\nProcess (thread):\t");
  AppendNumber(text, static_cast<LONG>(record.processId));
  AppendAscii(text, " (");
  AppendNumber(text, static_cast<LONG>(record.threadId));
  AppendAscii(text, ")");
  return text;
}

}  // namespace quillmere
