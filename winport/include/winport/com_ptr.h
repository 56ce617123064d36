// An owning COM interface pointer with the WRL names.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

#include <winport/windows_api.h>

namespace winport {

template <class T>
class ComPtr {
 public:
  using InterfaceType = T;

  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Adds a reference to p.
  ComPtr(T* p) : ptr_(p) { InternalAddRef(); }
  ComPtr(const ComPtr& other) : ptr_(other.ptr_) { InternalAddRef(); }
  ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  ComPtr(const ComPtr<U>& other) : ComPtr(static_cast<T*>(other.Get())) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  ComPtr(ComPtr<U>&& other) noexcept : ptr_(other.Detach()) {}
  ~ComPtr() { InternalRelease(); }

  ComPtr& operator=(const ComPtr& other) {
    ComPtr(other).Swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    ComPtr(std::move(other)).Swap(*this);
    return *this;
  }
  ComPtr& operator=(T* p) {
    ComPtr(p).Swap(*this);
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) {
    Reset();
    return *this;
  }

  T* Get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

  // For out-parameters: the pointer must be empty or is leaked by the callee's write,
  // so it is released first only by ReleaseAndGetAddressOf.
  T** GetAddressOf() { return &ptr_; }
  T** ReleaseAndGetAddressOf() {
    InternalRelease();
    return &ptr_;
  }

  // Takes over a reference the caller owns.
  void Attach(T* p) {
    InternalRelease();
    ptr_ = p;
  }
  // Gives up the reference without releasing it.
  T* Detach() { return std::exchange(ptr_, nullptr); }
  ULONG Reset() { return InternalRelease(); }
  void Swap(ComPtr& other) noexcept { std::swap(ptr_, other.ptr_); }

  template <class U>
  HRESULT As(ComPtr<U>* out) const {
    if (ptr_ == nullptr) return E_POINTER;
    return ptr_->QueryInterface(__uuidof(U),
                                reinterpret_cast<void**>(out->ReleaseAndGetAddressOf()));
  }
  HRESULT CopyTo(T** out) const {
    if (out == nullptr) return E_POINTER;
    *out = ptr_;
    InternalAddRef();
    return S_OK;
  }
  HRESULT CopyTo(REFIID riid, void** out) const {
    if (ptr_ == nullptr) return E_POINTER;
    return ptr_->QueryInterface(riid, out);
  }

 private:
  void InternalAddRef() const {
    if (ptr_ != nullptr) ptr_->AddRef();
  }
  ULONG InternalRelease() {
    T* p = std::exchange(ptr_, nullptr);
    return p != nullptr ? p->Release() : 0;
  }

  T* ptr_ = nullptr;
};

template <class T, class U>
bool operator==(const ComPtr<T>& a, const ComPtr<U>& b) {
  return a.Get() == b.Get();
}
template <class T>
bool operator==(const ComPtr<T>& a, std::nullptr_t) {
  return a.Get() == nullptr;
}

}  // namespace winport
