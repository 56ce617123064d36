// Text through the system's ANSI code page (CP_ACP), as the C runtime's number parsers
// and the settings store's string round trip see it.
#pragma once

#include <string>
#include <string_view>

#include <winport/wide.h>

namespace quillmere {

// A failed conversion raises its Win32 error as an HRESULT.
std::string WideToAnsi(winport::WideView text);
winport::WideString AnsiToWideAcp(std::string_view text);

}  // namespace quillmere
