// Reads (and so clears) the calling thread's COM error info, as a COM caller would.
#pragma once

#include <optional>
#include <string>

#include <winport/com_ptr.h>
#include <winport/scoped_bstr.h>
#include <winport/wide.h>
#include <winport/windows.h>

namespace errors_test {

// The description of the thread's error info; nullopt when the thread has none.
inline std::optional<std::string> TakeThreadErrorDescription() {
  winport::ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.GetAddressOf()) != S_OK || !info) return std::nullopt;
  winport::ScopedBstr description;
  if (FAILED(info->GetDescription(description.Receive()))) return std::string("<unreadable>");
  return winport::WideToUtf8(winport::BstrView(description.Get()));
}

}  // namespace errors_test
