#include "settings/setting_record.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <iterator>
#include <limits>

#include "errors/com_error.h"
#include "errors/failure_helpers.h"
#include "errors/new_bstr.h"
#include "settings/ansi_text.h"

namespace quillmere {
namespace {

// The name shown for a CIMTYPE in the settings table; booleans show as "Unknown".
const OLECHAR* TypeTextOf(ULONG cimType) {
  if (cimType == kSettingBoolean) return OLESTR("Unknown");
  const OLECHAR* property = ValuePropertyOf(cimType);
  return property != nullptr ? property : OLESTR("Unknown");
}

bool IsTrueText(const OLECHAR* text) {
  winport::ScopedBstr upper = NewBstr(text != nullptr ? text : OLESTR(""));
  CharUpperBuffW(upper.Get(), upper.Length());
  for (const OLECHAR* word : {OLESTR("TRUE"), OLESTR("T"), OLESTR("1")}) {
    const winport::ScopedBstr candidate = NewBstr(word);
    if (VarBstrCmp(upper.Get(), candidate.Get(), LOCALE_USER_DEFAULT, 0) == VARCMP_EQ) return true;
  }
  return false;
}

// The row as the document's elements write it, without building them for every setting:
// no escaping, an empty cell self-closed, every cell followed by " \n".
constexpr OLECHAR kRowStart[] = OLESTR("<TR>");
constexpr OLECHAR kRowEnd[] = OLESTR("</TR>");
constexpr OLECHAR kCellStart[] = OLESTR("<TD>");
constexpr OLECHAR kCellEnd[] = OLESTR("</TD> \n");
constexpr OLECHAR kEmptyCell[] = OLESTR("<TD/> \n");

void AppendCell(winport::WideString& row, winport::WideView text) {
  if (text.empty()) {
    row += kEmptyCell;
    return;
  }
  row += kCellStart;
  row += text;
  row += kCellEnd;
}

constexpr std::size_t kIntegerTextSize = 12;  // "-2147483648"

winport::WideView IntegerText(LONG value, OLECHAR (&text)[kIntegerTextSize]) {
  char digits[kIntegerTextSize];
  const char* end = std::to_chars(digits, digits + kIntegerTextSize, value).ptr;
  std::copy(static_cast<const char*>(digits), end, text);
  return winport::WideView(text, static_cast<std::size_t>(end - digits));
}

// atol as the C runtime does it where long is 32 bits: the leading number, clamped to the
// range of a LONG (the runtime's own long may be wider).
LONG LeadingLong(const std::string& text) {
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  return static_cast<LONG>(std::clamp<long long>(value, std::numeric_limits<LONG>::min(),
                                                 std::numeric_limits<LONG>::max()));
}

std::string AnsiOf(const OLECHAR* text) {
  return WideToAnsi(text != nullptr ? winport::WideView(text) : winport::WideView());
}

}  // namespace

const OLECHAR* ValuePropertyOf(ULONG cimType) {
  switch (cimType) {
    case kSettingInteger:
    case kSettingBoolean:
      return OLESTR("IntVal");
    case kSettingReal:
      return OLESTR("RealVal");
    case kSettingString:
      return OLESTR("StringValue");
    default:
      return nullptr;
  }
}

bool SettingRecord::SetValueFromText(const OLECHAR* text) {
  VARIANT value;
  VariantInit(&value);
  switch (CimType) {
    case kSettingInteger:
      value.vt = VT_I4;
      value.lVal = LeadingLong(AnsiOf(text));
      break;
    case kSettingReal:
      value.vt = VT_R4;
      value.fltVal = static_cast<float>(std::atof(AnsiOf(text).c_str()));
      break;
    case kSettingBoolean:
      value.vt = VT_BOOL;
      value.boolVal = IsTrueText(text) ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case kSettingString:
      value.vt = VT_BSTR;
      value.bstrVal = NewBstr(AnsiToWideAcp(AnsiOf(text))).Release();
      break;
    default:
      return true;
  }
  Value.Reset(value);
  return true;
}

winport::WideString FormatSettingRow(const SettingRecord& record) {
  // A text value is shown as it is, an integer written here (as the conversion would
  // write it, without a BSTR for every row); any other is converted aside.
  winport::ScopedVariant converted;
  OLECHAR integer[kIntegerTextSize];
  winport::WideView valueText;
  if (record.Value.Type() == VT_BSTR) {
    valueText = winport::BstrView(record.Value.Get().bstrVal);
  } else if (record.Value.Type() == VT_I4) {
    valueText = IntegerText(record.Value.Get().lVal, integer);
  } else {
    CheckHr(VariantChangeType(converted.Receive(), record.Value.AsInput(), 0, VT_BSTR));
    valueText = winport::BstrView(converted.Get().bstrVal);
  }
  const winport::WideView cells[] = {
      winport::BstrView(record.SettingName.Get()), winport::BstrView(record.Description.Get()),
      winport::BstrView(record.ResponsibleObject.Get()), TypeTextOf(record.CimType), valueText};
  return OrOutOfMemory([&] {
    winport::WideString row;
    std::size_t length = std::size(kRowStart) + std::size(kRowEnd);
    for (const winport::WideView cell : cells)
      length += cell.size() + std::size(kCellStart) + std::size(kCellEnd) + 1;
    row.reserve(length);
    row += kRowStart;
    for (const winport::WideView cell : cells)
      AppendCell(row, cell);
    row += kRowEnd;
    return row;
  });
}

}  // namespace quillmere
