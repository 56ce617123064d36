// An owning BSTR: movable, not copyable, freed on destruction.
#pragma once

#include <utility>

#include <winport/windows_api.h>

namespace winport {

class ScopedBstr {
 public:
  ScopedBstr() = default;
  // Copies text; a null text gives a null BSTR.
  explicit ScopedBstr(const OLECHAR* text) : bstr_(text ? SysAllocString(text) : nullptr) {}
  ScopedBstr(ScopedBstr&& other) noexcept : bstr_(std::exchange(other.bstr_, nullptr)) {}
  ScopedBstr& operator=(ScopedBstr&& other) noexcept {
    Reset(std::exchange(other.bstr_, nullptr));
    return *this;
  }
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  ~ScopedBstr() { SysFreeString(bstr_); }

  // Takes ownership of bstr, freeing the one held before.
  void Reset(BSTR bstr = nullptr) {
    if (bstr != bstr_) SysFreeString(std::exchange(bstr_, bstr));
  }
  // Gives up ownership.
  [[nodiscard]] BSTR Release() { return std::exchange(bstr_, nullptr); }
  // For out-parameters; frees what was held so the callee's value is not leaked over it.
  BSTR* Receive() {
    Reset();
    return &bstr_;
  }

  BSTR Get() const { return bstr_; }
  UINT Length() const { return SysStringLen(bstr_); }
  UINT ByteLength() const { return SysStringByteLen(bstr_); }
  bool Empty() const { return Length() == 0; }

 private:
  BSTR bstr_ = nullptr;
};

}  // namespace winport
