// MOF text of an object, the form GetObjectText hands out.
#include <cstdint>

#include "class_object.h"
#include "wmi/cim_types.h"

namespace winport::wmi {
namespace {

const OLECHAR* TypeName(CIMTYPE type) {
  switch (type & ~CIM_FLAG_ARRAY) {
    case CIM_SINT8:
      return OLESTR("sint8");
    case CIM_UINT8:
      return OLESTR("uint8");
    case CIM_SINT16:
      return OLESTR("sint16");
    case CIM_UINT16:
      return OLESTR("uint16");
    case CIM_SINT32:
      return OLESTR("sint32");
    case CIM_UINT32:
      return OLESTR("uint32");
    case CIM_SINT64:
      return OLESTR("sint64");
    case CIM_UINT64:
      return OLESTR("uint64");
    case CIM_REAL32:
      return OLESTR("real32");
    case CIM_REAL64:
      return OLESTR("real64");
    case CIM_BOOLEAN:
      return OLESTR("boolean");
    case CIM_DATETIME:
      return OLESTR("datetime");
    case CIM_REFERENCE:
      return OLESTR("ref");
    case CIM_CHAR16:
      return OLESTR("char16");
    case CIM_OBJECT:
      return OLESTR("object");
    default:
      return OLESTR("string");
  }
}

// A MOF string: quotes and backslashes escaped, and control characters, which MOF text
// cannot hold as they are (\x with four digits, so that a hex digit after it stays text).
WideString QuotedText(WideView value) {
  WideString text = OLESTR("\"");
  for (OLECHAR c : value) {
    const OLECHAR* escape = c == u'\n'   ? OLESTR("\\n")
                            : c == u'\t' ? OLESTR("\\t")
                            : c == u'\r' ? OLESTR("\\r")
                                         : nullptr;
    if (escape != nullptr) {
      text += escape;
    } else if (c < 0x20 || c == 0x7F) {
      text += FormatWide("\\x%04X", static_cast<unsigned>(c));
    } else {
      if (c == u'"' || c == u'\\') text.push_back(u'\\');
      text.push_back(c);
    }
  }
  return text + OLESTR("\"");
}

// A value of `type`; CIM_EMPTY when it is a qualifier's, whose type is its VARIANT's.
WideString ScalarText(const VARIANT& var, CIMTYPE type) {
  // A char16 is held as a VT_I2: written as the unit's number, never negative.
  if ((type & ~CIM_FLAG_ARRAY) == CIM_CHAR16 && var.vt == VT_I2)
    return FormatWide("%u", static_cast<unsigned>(static_cast<std::uint16_t>(var.iVal)));
  switch (var.vt) {
    case VT_BOOL:
      return var.boolVal ? OLESTR("TRUE") : OLESTR("FALSE");
    case VT_BSTR: {
      // 64-bit integers are held as text, as WMI holds them, and written as the numbers
      // they are: MOF refuses a string for them.
      const CIMTYPE scalar = type & ~CIM_FLAG_ARRAY;
      if (scalar == CIM_SINT64 || scalar == CIM_UINT64) return WideString(BstrView(var.bstrVal));
      return QuotedText(BstrView(var.bstrVal));
    }
    default: {
      Value converted;
      if (FAILED(CoerceToCimType(Value(var), CIM_STRING, &converted))) return OLESTR("NULL");
      return WideString(converted.TextView());
    }
  }
}

WideString ValueText(const Value& value, CIMTYPE type = CIM_EMPTY) {
  const VARIANT& var = value.Get();
  if (!(var.vt & VT_ARRAY)) return ScalarText(var, type);
  WideString text = OLESTR("{");
  LONG lower = 0;
  LONG upper = -1;
  SafeArrayGetLBound(var.parray, 1, &lower);
  SafeArrayGetUBound(var.parray, 1, &upper);
  for (LONG i = lower; i <= upper; ++i) {
    VARIANT element;
    VariantInit(&element);
    element.vt = static_cast<VARTYPE>(var.vt & ~VT_ARRAY);
    if (FAILED(SafeArrayGetElement(var.parray, &i, &element.llVal))) continue;
    const Value owned = Value::Adopt(element);
    if (i > lower) text += OLESTR(", ");
    text += ScalarText(owned.Get(), type);
  }
  return text + OLESTR("}");
}

WideString QualifierText(const Qualifiers& qualifiers) {
  WideString text;
  for (const Qualifier& qualifier : qualifiers.Items()) {
    text += text.empty() ? OLESTR("[") : OLESTR(", ");
    text += qualifier.name;
    // An array's values are written in braces alone, as MOF reads them: Values{"a", "b"}.
    const VARIANT& var = qualifier.value.Get();
    if (var.vt & VT_ARRAY)
      text += ValueText(qualifier.value);
    else if (var.vt != VT_BOOL || !var.boolVal)
      text += OLESTR("(") + ValueText(qualifier.value) + OLESTR(")");
  }
  return text.empty() ? text : text + OLESTR("]");
}

WideString ClassText(const ClassDefinition& definition) {
  WideString text = OLESTR("\n");
  const WideString qualifiers = QualifierText(definition.qualifiers);
  if (!qualifiers.empty()) text += qualifiers + OLESTR("\n");
  text += OLESTR("class ") + definition.name;
  if (!definition.Superclass().empty()) text += OLESTR(" : ") + WideString(definition.Superclass());
  text += OLESTR("\n{\n");
  for (const PropertyDefinition& property : definition.properties) {
    if (!NamesEqual(property.origin, definition.name)) continue;
    text += OLESTR("\t");
    const WideString property_qualifiers = QualifierText(property.qualifiers);
    if (!property_qualifiers.empty()) text += property_qualifiers + OLESTR(" ");
    text += WideString(TypeName(property.type)) + OLESTR(" ") + property.name;
    if (property.type & CIM_FLAG_ARRAY) text += OLESTR("[]");
    if (!property.default_value.IsNull())
      text += OLESTR(" = ") + ValueText(property.default_value, property.type);
    text += OLESTR(";\n");
  }
  return text + OLESTR("};\n");
}

}  // namespace

WideString ObjectText(const ClassObject& object) {
  const ClassDefinition& definition = object.Definition();
  if (!object.IsInstance()) return ClassText(definition);
  WideString text = OLESTR("\ninstance of ") + definition.name + OLESTR("\n{\n");
  const std::vector<Value> values = object.EffectiveValues();
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (values[i].IsNull()) continue;
    text += OLESTR("\t") + definition.properties[i].name + OLESTR(" = ") +
            ValueText(values[i], definition.properties[i].type) + OLESTR(";\n");
  }
  return text + OLESTR("};\n");
}

}  // namespace winport::wmi
