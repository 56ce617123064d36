// Keeps the calling thread in a COM apartment for the object's lifetime: CoInitializeEx
// with the given model on construction, and the matching CoUninitialize on destruction
// when that succeeded. S_FALSE (the thread was already in an apartment of that model)
// is a success and takes its CoUninitialize too; RPC_E_CHANGED_MODE (an apartment of
// the other model) is a failure and takes none, so the apartment's owner keeps it.
#pragma once

#include <winport/windows_api.h>

namespace winport {

class ScopedComInit {
 public:
  explicit ScopedComInit(DWORD model) : result_(CoInitializeEx(nullptr, model)) {}
  ScopedComInit(const ScopedComInit&) = delete;
  ScopedComInit& operator=(const ScopedComInit&) = delete;
  ~ScopedComInit() {
    if (Succeeded()) CoUninitialize();
  }

  bool Succeeded() const { return SUCCEEDED(result_); }
  HRESULT Result() const { return result_; }

 private:
  HRESULT result_;
};

}  // namespace winport
