// Lists of names as WMI hands them out: a one-dimensional SAFEARRAY of BSTR.
#pragma once

#include <vector>

#include <winport/wide.h>

namespace winport::wmi {

// Throws std::bad_alloc when the array cannot be made.
SAFEARRAY* MakeNameArray(const std::vector<WideString>& names);

// A BSTR copy of text; throws std::bad_alloc when it cannot be made.
BSTR MakeBstr(WideView text);

}  // namespace winport::wmi
