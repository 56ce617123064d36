// The elements of a safe array, locked for the length of a scope. A null array or one that
// cannot be locked throws E_UNEXPECTED as a bare HRESULT, not as a COM error: the entry
// discipline takes it for an unknown exception, so the entry answers E_FAIL and its text
// is "Unknown exception (HRESULT): 0x8000FFFF (-2147418113)".
#pragma once

#include <cstddef>

#include <winport/windows.h>

namespace quillmere {

template <class T>
class QuickSafeArrayAccess {
 public:
  explicit QuickSafeArrayAccess(SAFEARRAY* array) : array_(array) {
    void* data = nullptr;
    if (array_ == nullptr || FAILED(SafeArrayAccessData(array_, &data)))
      throw static_cast<HRESULT>(E_UNEXPECTED);
    data_ = static_cast<T*>(data);
  }
  ~QuickSafeArrayAccess() { SafeArrayUnaccessData(array_); }
  QuickSafeArrayAccess(const QuickSafeArrayAccess&) = delete;
  QuickSafeArrayAccess& operator=(const QuickSafeArrayAccess&) = delete;

  // The element at offset from the start of the data.
  T& operator[](std::size_t offset) const { return data_[offset]; }

 private:
  SAFEARRAY* array_;
  T* data_ = nullptr;
};

}  // namespace quillmere
