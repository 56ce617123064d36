// The text for an HRESULT: the system's message, or a fixed fallback.
#pragma once

#include <winport/wide.h>
#include <winport/windows.h>

namespace quillmere {

// The system message (neutral language, inserts ignored, trailing CR LF removed); without
// one, "IDispatch error #n" for 0x80040201..0x8004FFFF, else "Unknown error 0x%0lX".
winport::WideString ErrorMessage(HRESULT hr);

// The system's message for a code as the system gives it (neutral language, inserts
// ignored, its CR LF kept); empty when the system has none.
winport::WideString SystemMessageText(DWORD code);

}  // namespace quillmere
