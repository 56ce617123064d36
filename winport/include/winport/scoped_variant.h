// An owning VARIANT: movable, not copyable, cleared on destruction.
#pragma once

#include <utility>

#include <winport/windows_api.h>

namespace winport {

class ScopedVariant {
 public:
  ScopedVariant() { VariantInit(&var_); }
  // Copies text into a VT_BSTR.
  explicit ScopedVariant(const OLECHAR* text) : ScopedVariant() {
    var_.vt = VT_BSTR;
    var_.bstrVal = SysAllocString(text);
  }
  explicit ScopedVariant(LONG value) : ScopedVariant() {
    var_.vt = VT_I4;
    var_.lVal = value;
  }
  ScopedVariant(ScopedVariant&& other) noexcept : ScopedVariant() { Swap(other); }
  ScopedVariant& operator=(ScopedVariant&& other) noexcept {
    Reset(other.Release());
    return *this;
  }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  ~ScopedVariant() { VariantClear(&var_); }

  // Takes ownership of var's contents, clearing what was held before.
  void Reset(const VARIANT& var) {
    if (&var == &var_) return;
    VariantClear(&var_);
    var_ = var;
  }
  void Reset() { VariantClear(&var_); }
  // Gives up ownership of the contents.
  [[nodiscard]] VARIANT Release() {
    VARIANT out = var_;
    VariantInit(&var_);
    return out;
  }
  // For out-parameters; clears what was held first.
  VARIANT* Receive() {
    VariantClear(&var_);
    return &var_;
  }
  // Copies var (VariantCopy) into this one.
  HRESULT Copy(const VARIANT& var) {
    VARIANT copy;
    VariantInit(&copy);
    HRESULT hr = VariantCopy(&copy, const_cast<VARIANT*>(&var));
    if (SUCCEEDED(hr)) Reset(copy);
    return hr;
  }
  // Converts the held value in place.
  HRESULT ChangeType(VARTYPE vt, USHORT flags = 0) {
    return VariantChangeType(&var_, &var_, flags, vt);
  }

  const VARIANT& Get() const { return var_; }
  VARIANT* AsInput() const { return const_cast<VARIANT*>(&var_); }
  VARTYPE Type() const { return var_.vt; }
  void Swap(ScopedVariant& other) noexcept { std::swap(var_, other.var_); }

 private:
  VARIANT var_;
};

}  // namespace winport
