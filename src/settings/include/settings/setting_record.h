// One setting in memory, as the settings sheet shows it and as it is written back.
#pragma once

#include <winport/scoped_bstr.h>
#include <winport/scoped_variant.h>
#include <winport/windows.h>

namespace quillmere {

// The CIMTYPE codes a setting's value is kept under.
inline constexpr ULONG kSettingInteger = 3;
inline constexpr ULONG kSettingReal = 4;
inline constexpr ULONG kSettingString = 8;
inline constexpr ULONG kSettingBoolean = 11;  // kept as the integer 1 or 0

struct SettingRecord {
  // Replaces the value with text read as the setting's type: an integer or a real by its
  // leading digits (none: 0), a boolean true for "TRUE", "T" or "1" in any case, a string
  // as it survives the system's ANSI code page. An unknown type keeps its value. Always
  // true.
  bool SetValueFromText(const OLECHAR* text);

  ULONG CimType = 0;  // 0 when unknown
  winport::ScopedVariant Value;
  winport::ScopedBstr ResponsibleObject;
  winport::ScopedBstr SettingName;
  winport::ScopedBstr Description;
};

// The record as one row of the settings table: a TR of five cells (name, description,
// responsible object, the value property's name, the value as text). A value that cannot
// be converted to text raises its conversion's failure.
winport::WideString FormatSettingRow(const SettingRecord& record);

// The property a CIMTYPE keeps its value in; null for a CIMTYPE that has none.
const OLECHAR* ValuePropertyOf(ULONG cimType);

}  // namespace quillmere
