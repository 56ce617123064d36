// CIM types and the automation types that carry their values, as WMI pairs them.
#pragma once

#include <winport/windows_api.h>

#include "wmi/variant_value.h"

namespace winport::wmi {

// The VARTYPE a value of type cim travels in (arrays carry VT_ARRAY); VT_EMPTY for a type
// that is not a CIM type.
VARTYPE VarTypeOf(CIMTYPE cim);

// The CIM type a value of VARTYPE vt declares when no type is given; CIM_ILLEGAL for none.
CIMTYPE CimTypeOf(VARTYPE vt);

// value converted to the carrier of cim: WBEM_E_TYPE_MISMATCH when it cannot be. A null
// value stays null.
HRESULT CoerceToCimType(const Value& value, CIMTYPE cim, Value* out);

}  // namespace winport::wmi
