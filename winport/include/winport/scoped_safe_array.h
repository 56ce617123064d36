// An owning SAFEARRAY and a scope that keeps it locked while its data is read.
#pragma once

#include <cstddef>
#include <optional>
#include <utility>

#include <winport/windows_api.h>

namespace winport {

class ScopedSafeArray {
 public:
  // Locked, one-dimensional access to elements of type T (BSTR, VARIANT, LONG ...).
  template <class T>
  class LockScope {
   public:
    LockScope(LockScope&& other) noexcept
        : array_(std::exchange(other.array_, nullptr)), data_(other.data_), size_(other.size_) {}
    LockScope(const LockScope&) = delete;
    LockScope& operator=(const LockScope&) = delete;
    LockScope& operator=(LockScope&&) = delete;
    ~LockScope() {
      if (array_ != nullptr) SafeArrayUnaccessData(array_);
    }

    std::size_t size() const { return size_; }
    T* begin() const { return data_; }
    T* end() const { return data_ + size_; }
    T& operator[](std::size_t i) const { return data_[i]; }

   private:
    friend class ScopedSafeArray;
    LockScope(SAFEARRAY* array, T* data, std::size_t size)
        : array_(array), data_(data), size_(size) {}
    SAFEARRAY* array_;
    T* data_;
    std::size_t size_;
  };

  ScopedSafeArray() = default;
  explicit ScopedSafeArray(SAFEARRAY* array) : array_(array) {}
  ScopedSafeArray(ScopedSafeArray&& other) noexcept
      : array_(std::exchange(other.array_, nullptr)) {}
  ScopedSafeArray& operator=(ScopedSafeArray&& other) noexcept {
    Reset(std::exchange(other.array_, nullptr));
    return *this;
  }
  ScopedSafeArray(const ScopedSafeArray&) = delete;
  ScopedSafeArray& operator=(const ScopedSafeArray&) = delete;
  ~ScopedSafeArray() { Destroy(); }

  void Reset(SAFEARRAY* array = nullptr) {
    if (array == array_) return;
    Destroy();
    array_ = array;
  }
  [[nodiscard]] SAFEARRAY* Release() { return std::exchange(array_, nullptr); }
  SAFEARRAY** Receive() {
    Reset();
    return &array_;
  }
  SAFEARRAY* Get() const { return array_; }

  // Locks a one-dimensional array whose elements have the type vt; nothing when the
  // array is missing, has another element type or another number of dimensions.
  template <class T>
  std::optional<LockScope<T>> CreateLockScope(VARTYPE vt) const {
    VARTYPE actual = VT_EMPTY;
    if (array_ == nullptr || SafeArrayGetDim(array_) != 1) return std::nullopt;
    if (FAILED(SafeArrayGetVartype(array_, &actual)) || actual != vt) return std::nullopt;
    if (SafeArrayGetElemsize(array_) != sizeof(T)) return std::nullopt;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array_, &data))) return std::nullopt;
    return LockScope<T>(array_, static_cast<T*>(data), array_->rgsabound[0].cElements);
  }

 private:
  void Destroy() {
    if (array_ != nullptr) SafeArrayDestroy(std::exchange(array_, nullptr));
  }
  SAFEARRAY* array_ = nullptr;
};

}  // namespace winport
