#include "mof_value_check.h"

#include <cstdint>
#include <limits>

namespace winport::wmi {
namespace {

template <class T>
bool IntegerFits(const MofValue& value) {
  if (value.negative) {
    if constexpr (std::numeric_limits<T>::is_signed) {
      const std::uint64_t lowest_magnitude =
          static_cast<std::uint64_t>(-(std::numeric_limits<T>::min() + 1)) + 1;
      return value.magnitude <= lowest_magnitude;
    }
    return value.magnitude == 0;
  }
  return value.magnitude <= static_cast<std::uint64_t>(std::numeric_limits<T>::max());
}

bool IntegerFitsType(const MofValue& value, CIMTYPE type) {
  switch (type) {
    case CIM_SINT8:
      return IntegerFits<std::int8_t>(value);
    case CIM_UINT8:
      return IntegerFits<std::uint8_t>(value);
    case CIM_SINT16:
      return IntegerFits<std::int16_t>(value);
    case CIM_UINT16:
    case CIM_CHAR16:
      return IntegerFits<std::uint16_t>(value);
    case CIM_SINT32:
      return IntegerFits<std::int32_t>(value);
    case CIM_UINT32:
      return IntegerFits<std::uint32_t>(value);
    case CIM_SINT64:
      return IntegerFits<std::int64_t>(value);
    default:
      return IntegerFits<std::uint64_t>(value);
  }
}

bool IsIntegerType(CIMTYPE type) {
  switch (type) {
    case CIM_SINT8:
    case CIM_UINT8:
    case CIM_SINT16:
    case CIM_UINT16:
    case CIM_SINT32:
    case CIM_UINT32:
    case CIM_SINT64:
    case CIM_UINT64:
    case CIM_CHAR16:
      return true;
    default:
      return false;
  }
}

bool KindFits(MofValueKind kind, CIMTYPE type) {
  switch (kind) {
    case MofValueKind::kBoolean:
      return type == CIM_BOOLEAN;
    case MofValueKind::kInteger:
      return IsIntegerType(type) || type == CIM_REAL32 || type == CIM_REAL64;
    case MofValueKind::kReal:
      return type == CIM_REAL32 || type == CIM_REAL64;
    case MofValueKind::kString:
      return type == CIM_STRING || type == CIM_DATETIME;
    case MofValueKind::kChar:
      return type == CIM_CHAR16;
    default:
      return false;
  }
}

MofSyntaxError ErrorAt(const MofValue& value, HRESULT code, const char* message) {
  return MofSyntaxError{code, value.where, message};
}

std::optional<MofSyntaxError> CheckScalar(const MofValue& value, CIMTYPE type) {
  if (value.kind == MofValueKind::kArray) {
    return ErrorAt(value, WBEMMOF_E_UNEXPECTED_ARRAY_INIT, "array value for a single value");
  }
  if (!KindFits(value.kind, type)) {
    return ErrorAt(value, WBEMMOF_E_TYPE_MISMATCH, "value does not match the type");
  }
  if (value.kind == MofValueKind::kInteger && IsIntegerType(type) &&
      !IntegerFitsType(value, type)) {
    return ErrorAt(value, WBEMMOF_E_OUT_OF_RANGE, "value out of the type's range");
  }
  return std::nullopt;
}

}  // namespace

std::optional<MofSyntaxError> CheckMofValue(const MofValue& value, CIMTYPE type) {
  if (value.kind == MofValueKind::kNull) return std::nullopt;
  if ((type & CIM_FLAG_ARRAY) == 0) return CheckScalar(value, type);
  if (value.kind != MofValueKind::kArray) {
    return ErrorAt(value, WBEMMOF_E_TYPE_MISMATCH, "array expected");
  }
  for (const MofValue& element : value.elements) {
    if (element.kind == MofValueKind::kNull) {
      return ErrorAt(element, WBEMMOF_E_NULL_ARRAY_ELEM, "null in an array");
    }
    if (auto error = CheckScalar(element, type & ~CIM_FLAG_ARRAY)) return error;
  }
  return std::nullopt;
}

}  // namespace winport::wmi
