// What the session objects share at their COM boundary: text conversion and the
// translation of exceptions into HRESULTs (none may cross into the caller).
#pragma once

#include <new>
#include <string>
#include <string_view>

#include <winport/wide.h>
#include <winport/windows.h>

#include "host/ascii_text.h"
#include "host/user_store.h"

namespace quillmere::host {

// An unknown, logged off or expired identity token.
inline constexpr HRESULT kNotAuthenticated = HRESULT_FROM_WIN32(ERROR_NOT_AUTHENTICATED);
inline constexpr HRESULT kUserExists = HRESULT_FROM_WIN32(1316);  // ERROR_USER_EXISTS
inline constexpr HRESULT kNoSuchUser = HRESULT_FROM_WIN32(1317);  // ERROR_NO_SUCH_USER

inline std::string Utf8Of(BSTR text) {
  return ToUtf8(winport::BstrView(text));
}

// A new BSTR; throws std::bad_alloc when there is no memory for it.
inline BSTR NewBstr(std::string_view utf8) {
  BSTR text = ToBstr(utf8);
  if (text == nullptr) throw std::bad_alloc();
  return text;
}

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

template <class Body>
HRESULT Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const UserError& error) {
    return HresultOf(error.problem());
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
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
