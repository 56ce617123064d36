// An owned critical section and a scope that holds it. The section reports, rather than
// throws, a failed initialisation: each caller raises it in its own error type.
//
//   winport::CriticalSection lock;
//   if (!lock.Valid()) fail with HRESULT_FROM_WIN32(lock.InitError());
//   { winport::CriticalSectionLock hold(lock); ... }
#pragma once

#include <winport/windows_api.h>

namespace winport {

class CriticalSection {
 public:
  // A thread finding it held tries again `spinCount` times before it sleeps.
  explicit CriticalSection(DWORD spinCount = 0) {
    valid_ = InitializeCriticalSectionAndSpinCount(&section_, spinCount) != FALSE;
    if (!valid_) error_ = GetLastError();
  }
  ~CriticalSection() {
    if (valid_) DeleteCriticalSection(&section_);
  }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  bool Valid() const { return valid_; }
  // The Win32 error of a failed initialisation; 0 when valid.
  DWORD InitError() const { return error_; }

  void Enter() { EnterCriticalSection(&section_); }
  void Leave() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
  bool valid_ = false;
  DWORD error_ = 0;
};

class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CriticalSection& section) : section_(section) { section_.Enter(); }
  ~CriticalSectionLock() { section_.Leave(); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

 private:
  CriticalSection& section_;
};

}  // namespace winport
