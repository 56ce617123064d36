// What variant.cpp and variant_convert.cpp share about VARIANTs.
#pragma once

#include <winport/oleauto.h>

namespace winport::detail {

// True for a vt a VARIANT may carry: a base type, VT_ARRAY of an element type or
// VT_BYREF of either. VT_RECORD is left out: nothing here can copy or free a record.
bool IsValidVariantType(VARTYPE vt);

// A copy of bstr keeping its exact byte count; a null BSTR stays null. Sets *failed on
// an allocation failure so the caller can tell it from a null input.
BSTR CopyBstr(BSTR bstr, bool* failed);

// Fills view with the value a VT_BYREF variant refers to, following a VT_VARIANT
// reference once. The view owns nothing: it shares the referenced BSTR, array or object.
HRESULT ViewReferenced(const VARIANTARG* src, VARIANT* view);

}  // namespace winport::detail
