// MOF constants as the VARIANTs WMI stores for each CIM type: sint8, sint16 and char16 as
// VT_I2, uint8 as VT_UI1, uint16, sint32 and uint32 as VT_I4, the 64-bit integers as
// decimal VT_BSTR, real32 VT_R4, real64 VT_R8, boolean VT_BOOL, string and datetime
// VT_BSTR; arrays as a SAFEARRAY of the same.
#pragma once

#include <winport/scoped_variant.h>

#include "wmi/mof_syntax.h"

namespace winport::wmi {

// `value` must already fit `type` (CheckMofValue); null gives VT_NULL.
HRESULT MofValueToVariant(const MofValue& value, CIMTYPE type, ScopedVariant* out);

// The CIM type a qualifier's value is stored as: boolean, sint32, real64 or string (or an
// array of one of them, by its first element); WBEMMOF_E_TYPE_MISMATCH when the kinds of
// an array's elements differ or there is no such type.
HRESULT MofQualifierType(const MofValue& value, CIMTYPE* type);

}  // namespace winport::wmi
