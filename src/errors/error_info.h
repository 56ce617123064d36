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
// Narrow text is read as AnsiToWide reads it.
winport::ComPtr<IErrorInfo> MakeErrorInfo(std::string_view text);

// Narrow text (exception texts, what()) as the thread's ANSI code page reads it:
// CP_THREAD_ACP, the code page of the thread's locale, not the system's CP_ACP.
winport::WideString AnsiToWide(std::string_view text);

}  // namespace quillmere
