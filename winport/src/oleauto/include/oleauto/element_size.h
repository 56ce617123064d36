// The size of one element of each type a SAFEARRAY can hold, as SafeArrayCreate sets
// cbElements; what else keeps values of these types by their bytes uses the same sizes.
#pragma once

#include <winport/oleauto.h>

namespace winport::detail {

// 0 for a type no SAFEARRAY holds.
ULONG ElementSize(VARTYPE vt);

}  // namespace winport::detail
