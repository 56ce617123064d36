// Whether a MOF constant can be stored in a property of a given CIM type.
#pragma once

#include <optional>

#include "mof_syntax.h"

namespace winport::wmi {

// Nothing when `value` fits `type` (CIM_FLAG_ARRAY included); else the error, placed at
// the offending constant. A null value fits every type.
std::optional<MofSyntaxError> CheckMofValue(const MofValue& value, CIMTYPE type);

}  // namespace winport::wmi
