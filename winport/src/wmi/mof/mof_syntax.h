// The syntax tree of a MOF text: what the parser reads and the compiler stores.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include <winport/wide.h>

#include <winport/windows_api.h>

namespace winport::wmi {

// 1-based line and column (in UTF-16 units) of a token in the text.
struct MofPosition {
  int line = 0;
  int column = 0;
};

enum class MofValueKind { kNull, kBoolean, kInteger, kReal, kString, kChar, kArray };

// A constant as written. An integer keeps its sign apart from its magnitude, so that the
// whole range of uint64 and of sint64 fits; the property's type decides later.
struct MofValue {
  MofValueKind kind = MofValueKind::kNull;
  MofPosition where;
  bool boolean = false;
  bool negative = false;
  std::uint64_t magnitude = 0;
  double real = 0;
  WideString text;  // a string's or a char16's text
  std::vector<MofValue> elements;
};

struct MofQualifier {
  MofPosition where;
  WideString name;
  MofValue value;  // a qualifier written without a value is boolean true
  LONG flavor = 0;
};

using MofQualifiers = std::vector<MofQualifier>;

struct MofProperty {
  MofPosition where;
  MofQualifiers qualifiers;
  CIMTYPE type = 0;  // CIM_FLAG_ARRAY set for an array
  WideString name;
  std::optional<MofValue> default_value;
};

struct MofClass {
  MofPosition where;
  int last_line = 0;
  MofQualifiers qualifiers;
  WideString name;
  WideString superclass;  // empty for a root class
  std::vector<MofProperty> properties;
};

struct MofPropertyValue {
  MofPosition where;
  MofQualifiers qualifiers;
  WideString name;
  MofValue value;
};

struct MofInstance {
  MofPosition where;
  int last_line = 0;
  MofQualifiers qualifiers;
  WideString class_name;
  WideString alias;  // without the '$'; empty when none
  std::vector<MofPropertyValue> values;
};

// #pragma namespace("..."): the path as written (escapes resolved), absolute when it
// starts with two backslashes, else relative to the namespace in force.
struct MofNamespacePragma {
  MofPosition where;
  WideString path;
};

using MofStatement = std::variant<MofNamespacePragma, MofClass, MofInstance>;

struct MofDocument {
  std::vector<MofStatement> statements;
};

// Why a text does not parse: a WBEMMOF_E_* code, where, and a short English message.
struct MofSyntaxError {
  MofSyntaxError() = default;
  MofSyntaxError(HRESULT code, MofPosition where, std::string message)
      : code(code), where(where), message(std::move(message)) {}

  HRESULT code = 0;
  MofPosition where;
  std::string message;
};

}  // namespace winport::wmi
