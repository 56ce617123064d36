#include "wmi/cim_types.h"

namespace winport::wmi {

VARTYPE VarTypeOf(CIMTYPE cim) {
  VARTYPE scalar = VT_EMPTY;
  switch (cim & ~CIM_FLAG_ARRAY) {
    case CIM_SINT8:
    case CIM_SINT16:
    case CIM_CHAR16:
      scalar = VT_I2;
      break;
    case CIM_UINT8:
      scalar = VT_UI1;
      break;
    case CIM_UINT16:
    case CIM_SINT32:
    case CIM_UINT32:
      scalar = VT_I4;
      break;
    case CIM_SINT64:
    case CIM_UINT64:
    case CIM_STRING:
    case CIM_DATETIME:
    case CIM_REFERENCE:
      scalar = VT_BSTR;
      break;
    case CIM_REAL32:
      scalar = VT_R4;
      break;
    case CIM_REAL64:
      scalar = VT_R8;
      break;
    case CIM_BOOLEAN:
      scalar = VT_BOOL;
      break;
    case CIM_OBJECT:
      scalar = VT_UNKNOWN;
      break;
    default:
      return VT_EMPTY;
  }
  return (cim & CIM_FLAG_ARRAY) ? static_cast<VARTYPE>(scalar | VT_ARRAY) : scalar;
}

CIMTYPE CimTypeOf(VARTYPE vt) {
  CIMTYPE scalar = CIM_ILLEGAL;
  switch (vt & ~VT_ARRAY) {
    case VT_I1:
      scalar = CIM_SINT8;
      break;
    case VT_UI1:
      scalar = CIM_UINT8;
      break;
    case VT_I2:
      scalar = CIM_SINT16;
      break;
    case VT_UI2:
      scalar = CIM_UINT16;
      break;
    case VT_I4:
    case VT_INT:
      scalar = CIM_SINT32;
      break;
    case VT_UI4:
    case VT_UINT:
      scalar = CIM_UINT32;
      break;
    case VT_I8:
      scalar = CIM_SINT64;
      break;
    case VT_UI8:
      scalar = CIM_UINT64;
      break;
    case VT_R4:
      scalar = CIM_REAL32;
      break;
    case VT_R8:
      scalar = CIM_REAL64;
      break;
    case VT_BOOL:
      scalar = CIM_BOOLEAN;
      break;
    case VT_BSTR:
      scalar = CIM_STRING;
      break;
    case VT_UNKNOWN:
      scalar = CIM_OBJECT;
      break;
    default:
      return CIM_ILLEGAL;
  }
  return (vt & VT_ARRAY) ? (scalar | CIM_FLAG_ARRAY) : scalar;
}

HRESULT CoerceToCimType(const Value& value, CIMTYPE cim, Value* out) {
  const VARTYPE target = VarTypeOf(cim);
  if (target == VT_EMPTY) return WBEM_E_TYPE_MISMATCH;
  if (value.IsNull()) {
    *out = Value();
    return S_OK;
  }
  if (value.Type() == target) {
    *out = value;
    return S_OK;
  }
  // Arrays are taken only with the element type they must have.
  if ((value.Type() & VT_ARRAY) || (target & VT_ARRAY)) return WBEM_E_TYPE_MISMATCH;
  VARIANT converted;
  VariantInit(&converted);
  const HRESULT hr = VariantChangeType(&converted, const_cast<VARIANT*>(&value.Get()), 0, target);
  if (hr == E_OUTOFMEMORY) return WBEM_E_OUT_OF_MEMORY;
  if (FAILED(hr)) return WBEM_E_TYPE_MISMATCH;
  *out = Value::Adopt(converted);
  return S_OK;
}

}  // namespace winport::wmi
