// COM error info made from a text, installed as the thread's error info.
#pragma once

#include <string_view>

#include <winport/com_ptr.h>
#include <winport/wide.h>
#include <winport/windows.h>

namespace quillmere {

// A new error info whose description is text; also set as the thread's error info.
// Raises _com_error (E_OUTOFMEMORY and the like) when it cannot be made.
winport::ComPtr<IErrorInfo> MakeErrorInfo(winport::WideView text);
// Narrow text is converted with the thread's ANSI code page.
winport::ComPtr<IErrorInfo> MakeErrorInfo(std::string_view text);

// Narrow text as the ANSI code page reads it (exception texts, what()).
winport::WideString AnsiToWide(std::string_view text);

}  // namespace quillmere
