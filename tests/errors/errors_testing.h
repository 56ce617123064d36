// What the error tests share: the thread's COM error info read as a COM caller reads it,
// and a structured exception's record and context as the platform hands them over.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <winport/com_ptr.h>
#include <winport/scoped_bstr.h>
#include <winport/wide.h>
#include <winport/windows.h>

namespace errors_test {

// Reads (and so clears) the description of the thread's error info; nullopt when the
// thread has none.
inline std::optional<std::string> TakeThreadErrorDescription() {
  winport::ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.GetAddressOf()) != S_OK || !info) return std::nullopt;
  winport::ScopedBstr description;
  if (FAILED(info->GetDescription(description.Receive()))) return std::string("<unreadable>");
  return winport::WideToUtf8(winport::BstrView(description.Get()));
}

// A fault of code at address (also the context's instruction pointer), with its parameters.
struct FaultRecord {
  EXCEPTION_RECORD record{};
  CONTEXT context{};
  EXCEPTION_POINTERS pointers{&record, &context};

  explicit FaultRecord(DWORD code, ULONG_PTR address = 0, std::vector<ULONG_PTR> parameters = {}) {
    record.ExceptionCode = code;
    record.ExceptionAddress = reinterpret_cast<PVOID>(address);
    record.NumberParameters = static_cast<DWORD>(parameters.size());
    for (std::size_t i = 0; i < parameters.size(); ++i)
      record.ExceptionInformation[i] = parameters[i];
    context.Rip = address;
  }
  FaultRecord(const FaultRecord&) = delete;  // pointers points into this one
  FaultRecord& operator=(const FaultRecord&) = delete;
};

}  // namespace errors_test
