// What the session objects share at their COM boundary: the HRESULTs of their refusals and
// the guard that turns exceptions into them (none may cross into the caller).
#pragma once

#include <exception>
#include <string_view>
#include <utility>

#include <winport/windows.h>

#include "host/common/bstr_text.h"
#include "host/common/com_boundary.h"
#include "host/users/user_store.h"

namespace quillmere::host {

// An unknown, logged off or expired identity token.
inline constexpr HRESULT kNotAuthenticated = HRESULT_FROM_WIN32(ERROR_NOT_AUTHENTICATED);
inline constexpr HRESULT kUserExists = HRESULT_FROM_WIN32(1316);     // ERROR_USER_EXISTS
inline constexpr HRESULT kNoSuchUser = HRESULT_FROM_WIN32(1317);     // ERROR_NO_SUCH_USER
inline constexpr HRESULT kLockedOut = HRESULT_FROM_WIN32(1909);      // ERROR_ACCOUNT_LOCKED_OUT
inline constexpr HRESULT kBusy = HRESULT_FROM_WIN32(170);            // ERROR_BUSY
inline constexpr HRESULT kTooManySessions = HRESULT_FROM_WIN32(69);  // ERROR_TOO_MANY_SESS

inline HRESULT HresultOf(UserProblem problem) {
  switch (problem) {
    case UserProblem::kExists:
      return kUserExists;
    case UserProblem::kUnknown:
      return kNoSuchUser;
    default:
      return E_INVALIDARG;
  }
}

// For Guarded: a refused user change answers its own HRESULT, as does a full hashing pool.
inline HRESULT UserFailure(const std::exception& error) noexcept {
  if (dynamic_cast<const HashingBusy*>(&error) != nullptr) return kBusy;
  const auto* refused = dynamic_cast<const UserError*>(&error);
  return refused != nullptr ? HresultOf(refused->problem()) : E_FAIL;
}

// The session objects' methods: Guarded, with the user store's refusals as their HRESULTs.
template <class Body>
HRESULT GuardedUserCall(Body&& body) noexcept {
  return Guarded(std::forward<Body>(body), UserFailure);
}

// An out-parameter's value; E_POINTER without a place for it.
template <class T>
HRESULT Give(T* out, T value) {
  if (out == nullptr) return E_POINTER;
  *out = value;
  return S_OK;
}

inline HRESULT GiveText(BSTR* out, std::string_view text) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  return Guarded([&] {
    *out = NewBstr(text);
    return S_OK;
  });
}

}  // namespace quillmere::host
