// One owning wrapper for every kind of raw handle: movable, not copyable, closed on
// destruction, and never converted to the raw value behind the caller's back. Traits say
// what the handle is:
//
//   struct Traits {
//     using Handle = ...;                  // the raw type
//     static Handle InvalidValue();        // what an empty wrapper holds
//     static bool IsValid(Handle handle);  // whether handle is something to close
//     static void Close(Handle handle);    // called only for a valid handle
//   };
#pragma once

#include <utility>

namespace winport {

template <class Traits>
class ScopedGeneric {
 public:
  using Handle = typename Traits::Handle;

  ScopedGeneric() = default;
  explicit ScopedGeneric(Handle handle) : handle_(handle) {}
  ScopedGeneric(ScopedGeneric&& other) noexcept : handle_(other.Release()) {}
  ScopedGeneric& operator=(ScopedGeneric&& other) noexcept {
    Reset(other.Release());
    return *this;
  }
  ScopedGeneric(const ScopedGeneric&) = delete;
  ScopedGeneric& operator=(const ScopedGeneric&) = delete;
  ~ScopedGeneric() { Reset(); }

  Handle Get() const { return handle_; }
  bool IsValid() const { return Traits::IsValid(handle_); }

  // Takes ownership of handle, closing the one held before (unless it is the same).
  void Reset(Handle handle = Traits::InvalidValue()) {
    if (handle == handle_) return;
    const Handle old = std::exchange(handle_, handle);
    if (Traits::IsValid(old)) Traits::Close(old);
  }
  // Gives up ownership: the caller closes the value.
  [[nodiscard]] Handle Release() { return std::exchange(handle_, Traits::InvalidValue()); }
  // For out-parameters; closes what was held so the callee's value is not leaked over it.
  Handle* Receive() {
    Reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::InvalidValue();
};

// The traits of the usual kind of handle: null is the only "none", close ends the rest.
template <class HandleType, auto close>
struct NullInvalidTraits {
  using Handle = HandleType;
  static Handle InvalidValue() { return nullptr; }
  static bool IsValid(Handle handle) { return handle != nullptr; }
  static void Close(Handle handle) { close(handle); }
};

}  // namespace winport
