#include "mof_variant.h"

#include <string>

#include <winport/scoped_safe_array.h>

#include "wmi/cim_types.h"

namespace winport::wmi {
namespace {

// The integer's value in two's complement, as wide as needed.
std::uint64_t Bits(const MofValue& value) {
  return value.negative ? 0 - value.magnitude : value.magnitude;
}

double RealOf(const MofValue& value) {
  if (value.kind == MofValueKind::kReal) return value.real;
  const double magnitude = static_cast<double>(value.magnitude);
  return value.negative ? -magnitude : magnitude;
}

HRESULT SetText(VARIANT* out, WideView text) {
  out->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (out->bstrVal == nullptr) return WBEM_E_OUT_OF_MEMORY;
  return S_OK;
}

HRESULT ScalarToVariant(const MofValue& value, CIMTYPE type, VARIANT* out) {
  out->vt = VarTypeOf(type);
  switch (type) {
    case CIM_SINT8:
    case CIM_SINT16:
      out->iVal = static_cast<SHORT>(Bits(value));
      break;
    case CIM_CHAR16:
      out->iVal =
          static_cast<SHORT>(value.kind == MofValueKind::kChar ? value.text[0] : Bits(value));
      break;
    case CIM_UINT8:
      out->bVal = static_cast<BYTE>(Bits(value));
      break;
    case CIM_UINT16:
    case CIM_SINT32:
    case CIM_UINT32:
      out->lVal = static_cast<LONG>(Bits(value));
      break;
    case CIM_SINT64:
    case CIM_UINT64: {
      std::string digits = std::to_string(value.magnitude);
      if (value.negative) digits.insert(0, 1, '-');
      return SetText(out, Utf8ToWide(digits));
    }
    case CIM_REAL32:
      out->fltVal = static_cast<float>(RealOf(value));
      break;
    case CIM_REAL64:
      out->dblVal = RealOf(value);
      break;
    case CIM_BOOLEAN:
      out->boolVal = value.boolean ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    default:
      return SetText(out, value.text);
  }
  return S_OK;
}

HRESULT ArrayToVariant(const MofValue& value, CIMTYPE element_type, VARIANT* out) {
  const VARTYPE vt = VarTypeOf(element_type);
  ScopedSafeArray array(SafeArrayCreateVector(vt, 0, static_cast<ULONG>(value.elements.size())));
  if (array.Get() == nullptr) return WBEM_E_OUT_OF_MEMORY;
  for (LONG i = 0; i < static_cast<LONG>(value.elements.size()); ++i) {
    ScopedVariant element;
    HRESULT hr = ScalarToVariant(value.elements[i], element_type, element.Receive());
    if (FAILED(hr)) return hr;
    VARIANT* held = element.AsInput();
    void* data = vt == VT_BSTR ? static_cast<void*>(held->bstrVal) : &held->bVal;
    hr = SafeArrayPutElement(array.Get(), &i, data);
    if (hr == E_OUTOFMEMORY) return WBEM_E_OUT_OF_MEMORY;
    if (FAILED(hr)) return hr;
  }
  out->vt = VT_ARRAY | vt;
  out->parray = array.Release();
  return S_OK;
}

CIMTYPE QualifierScalarType(MofValueKind kind) {
  switch (kind) {
    case MofValueKind::kBoolean:
      return CIM_BOOLEAN;
    case MofValueKind::kInteger:
      return CIM_SINT32;
    case MofValueKind::kReal:
      return CIM_REAL64;
    case MofValueKind::kString:
    case MofValueKind::kChar:
      return CIM_STRING;
    default:
      return 0;
  }
}

}  // namespace

HRESULT MofValueToVariant(const MofValue& value, CIMTYPE type, ScopedVariant* out) {
  VARIANT* result = out->Receive();
  if (value.kind == MofValueKind::kNull) {
    result->vt = VT_NULL;
    return S_OK;
  }
  if ((type & CIM_FLAG_ARRAY) != 0) return ArrayToVariant(value, type & ~CIM_FLAG_ARRAY, result);
  return ScalarToVariant(value, type, result);
}

HRESULT MofQualifierType(const MofValue& value, CIMTYPE* type) {
  if (value.kind != MofValueKind::kArray) {
    *type = QualifierScalarType(value.kind);
    if (*type == 0) return WBEMMOF_E_TYPE_MISMATCH;
    return S_OK;
  }
  if (value.elements.empty()) {
    *type = CIM_STRING | CIM_FLAG_ARRAY;
    return S_OK;
  }
  const MofValueKind first = value.elements[0].kind;
  for (const MofValue& element : value.elements) {
    if (QualifierScalarType(element.kind) != QualifierScalarType(first)) {
      return WBEMMOF_E_TYPE_MISMATCH;
    }
  }
  *type = QualifierScalarType(first) | CIM_FLAG_ARRAY;
  if (*type == CIM_FLAG_ARRAY) return WBEMMOF_E_TYPE_MISMATCH;
  return S_OK;
}

}  // namespace winport::wmi
