// An owning registry key handle: movable, not copyable, closed on destruction.
#pragma once

#include <utility>

#include <winport/windows_api.h>

namespace winport {

class ScopedHkey {
 public:
  ScopedHkey() = default;
  explicit ScopedHkey(HKEY key) : key_(key) {}
  ScopedHkey(ScopedHkey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  ScopedHkey& operator=(ScopedHkey&& other) noexcept {
    Reset(std::exchange(other.key_, nullptr));
    return *this;
  }
  ScopedHkey(const ScopedHkey&) = delete;
  ScopedHkey& operator=(const ScopedHkey&) = delete;
  ~ScopedHkey() { Reset(); }

  void Reset(HKEY key = nullptr) {
    if (key_ != nullptr) RegCloseKey(key_);
    key_ = key;
  }
  // For out-parameters; closes what was held first.
  HKEY* Receive() {
    Reset();
    return &key_;
  }
  HKEY Get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace winport
