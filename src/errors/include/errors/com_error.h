// The exception for a failed COM call, and the helpers that raise it.
#pragma once

#include <optional>

#include <winport/com_ptr.h>
#include <winport/wide.h>
#include <winport/windows.h>

namespace quillmere {

class _com_error {
 public:
  explicit _com_error(HRESULT hr, winport::ComPtr<IErrorInfo> errorInfo = {});

  HRESULT Error() const noexcept { return hr_; }
  IErrorInfo* ErrorInfo() const noexcept { return errorInfo_.Get(); }
  // The error info's description and source; empty without error info.
  winport::WideString Description() const;
  winport::WideString Source() const;
  // ErrorMessage of the code, computed once per exception object.
  const winport::WideString& ErrorMessage() const;

 private:
  HRESULT hr_;
  winport::ComPtr<IErrorInfo> errorInfo_;
  mutable std::optional<winport::WideString> message_;
};

// Throws a _com_error with hr and the thread's current error info (which this clears).
[[noreturn]] void RaiseComError(HRESULT hr);
// Throws a _com_error with no error info: null pointers (E_POINTER), allocation failures.
[[noreturn]] void RaiseComErrorWithoutInfo(HRESULT hr);

// Raises hr when it is a failure; returns it otherwise (S_FALSE and other successes too).
inline HRESULT CheckHr(HRESULT hr) {
  if (FAILED(hr)) RaiseComError(hr);
  return hr;
}

}  // namespace quillmere
