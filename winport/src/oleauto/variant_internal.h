// What variant.cpp and variant_convert.cpp share about VARIANTs.
#pragma once

#include <winport/oleauto.h>

namespace winport::detail {

// The types a plain VARIANT holds by value.
inline bool IsScalarType(VARTYPE base) {
  return (base <= VT_DECIMAL && base != VT_VARIANT) || (base >= VT_I1 && base <= VT_UINT);
}

// What a SAFEARRAY may hold, and what VT_BYREF may point at.
inline bool IsElementType(VARTYPE base) {
  return (base >= VT_I2 && base <= VT_DECIMAL) || (base >= VT_I1 && base <= VT_UINT);
}

// True for a vt a VARIANT may carry: a base type, VT_ARRAY of an element type or
// VT_BYREF of either. VT_RECORD is left out: nothing here can copy or free a record.
// Inline: every clear and copy of a variant asks.
inline bool IsValidVariantType(VARTYPE vt) {
  if ((vt & ~(VT_TYPEMASK | VT_ARRAY | VT_BYREF)) != 0) return false;
  const VARTYPE base = vt & VT_TYPEMASK;
  if ((vt & (VT_ARRAY | VT_BYREF)) != 0) return IsElementType(base);
  return IsScalarType(base);
}

// A copy of bstr keeping its exact byte count; a null BSTR stays null. Sets *failed on
// an allocation failure so the caller can tell it from a null input.
BSTR CopyBstr(BSTR bstr, bool* failed);

// Fills view with the value a VT_BYREF variant refers to, following a VT_VARIANT
// reference once. The view owns nothing: it shares the referenced BSTR, array or object.
HRESULT ViewReferenced(const VARIANTARG* src, VARIANT* view);

}  // namespace winport::detail
