// An owning library reference: movable, not copyable, freed on destruction.
#pragma once

#include <utility>

#include <winport/windows_api.h>

namespace winport {

class ScopedLibrary {
 public:
  ScopedLibrary() = default;
  explicit ScopedLibrary(HMODULE module) : module_(module) {}
  ScopedLibrary(ScopedLibrary&& other) noexcept : module_(std::exchange(other.module_, nullptr)) {}
  ScopedLibrary& operator=(ScopedLibrary&& other) noexcept {
    Reset(std::exchange(other.module_, nullptr));
    return *this;
  }
  ScopedLibrary(const ScopedLibrary&) = delete;
  ScopedLibrary& operator=(const ScopedLibrary&) = delete;
  ~ScopedLibrary() { Reset(); }

  void Reset(HMODULE module = nullptr) {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = module;
  }
  HMODULE Get() const { return module_; }
  explicit operator bool() const { return module_ != nullptr; }

 private:
  HMODULE module_ = nullptr;
};

}  // namespace winport
