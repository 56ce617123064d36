// An HRESULT as the host writes it in errors, logs and faults.
#pragma once

#include <string>

#include <winport/windows.h>

namespace quillmere::host {

// "0x80004005".
std::string HresultText(HRESULT hr);

}  // namespace quillmere::host
