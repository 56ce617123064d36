// A VARIANT with value semantics, for the values an object keeps: copying copies the
// contents deeply, destruction clears them. A fresh Value is VT_NULL, WMI's "no value".
#pragma once

#include <new>
#include <utility>

#include <winport/wide.h>
#include <winport/windows_api.h>

namespace winport::wmi {

class Value {
 public:
  Value() {
    VariantInit(&var_);
    var_.vt = VT_NULL;
  }
  // Copies var; throws std::bad_alloc when the copy cannot be made.
  explicit Value(const VARIANT& var) : Value() { Assign(var); }
  Value(const Value& other) : Value() { Assign(other.var_); }
  Value(Value&& other) noexcept : Value() { std::swap(var_, other.var_); }
  Value& operator=(const Value& other) {
    if (this != &other) Value(other).Swap(*this);
    return *this;
  }
  Value& operator=(Value&& other) noexcept {
    Value(std::move(other)).Swap(*this);
    return *this;
  }
  ~Value() { VariantClear(&var_); }

  // Takes over var's contents.
  static Value Adopt(VARIANT var) {
    Value value;
    value.var_ = var;
    return value;
  }
  static Value Text(WideView text) {
    VARIANT var;
    VariantInit(&var);
    var.vt = VT_BSTR;
    var.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (var.bstrVal == nullptr) throw std::bad_alloc();
    return Adopt(var);
  }

  const VARIANT& Get() const { return var_; }
  VARTYPE Type() const { return var_.vt; }
  bool IsNull() const { return var_.vt == VT_NULL || var_.vt == VT_EMPTY; }
  WideView TextView() const { return var_.vt == VT_BSTR ? BstrView(var_.bstrVal) : WideView(); }

  // Copies the value out to a caller's VARIANT (which is overwritten, not cleared).
  HRESULT CopyTo(VARIANT* out) const {
    VariantInit(out);
    return VariantCopy(out, const_cast<VARIANT*>(&var_));
  }
  void Swap(Value& other) noexcept { std::swap(var_, other.var_); }

 private:
  void Assign(const VARIANT& var) {
    if (FAILED(VariantCopy(&var_, const_cast<VARIANT*>(&var)))) throw std::bad_alloc();
  }

  VARIANT var_;
};

}  // namespace winport::wmi
