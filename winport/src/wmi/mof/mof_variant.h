// MOF constants as the VARIANTs that carry each CIM type (VarTypeOf): the 64-bit
// integers as decimal text, arrays as a SAFEARRAY of the element's carrier.
#pragma once

#include <winport/scoped_variant.h>

#include "mof_syntax.h"

namespace winport::wmi {

// `value` must already fit `type` (CheckMofValue); null gives VT_NULL.
HRESULT MofValueToVariant(const MofValue& value, CIMTYPE type, ScopedVariant* out);

// The CIM type a qualifier's value is stored as: boolean, sint32, real64 or string (or an
// array of one of them, by its first element); WBEMMOF_E_TYPE_MISMATCH when the kinds of
// an array's elements differ or there is no such type.
HRESULT MofQualifierType(const MofValue& value, CIMTYPE* type);

}  // namespace winport::wmi
