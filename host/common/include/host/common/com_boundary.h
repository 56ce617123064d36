// The host's COM boundary: a method the module calls answers an HRESULT, and no exception
// crosses into its caller.
#pragma once

#include <exception>
#include <new>

#include <winport/windows.h>

namespace quillmere::host {

// What an exception the caller knows nothing particular about becomes.
inline HRESULT UnknownFailure(const std::exception&) noexcept {
  return E_FAIL;
}

// Runs body, which answers an HRESULT, and turns what it throws into one: std::bad_alloc
// into E_OUTOFMEMORY, another std::exception into what `known` makes of it, anything else
// into E_FAIL.
template <class Body, class Known = HRESULT (*)(const std::exception&) noexcept>
HRESULT Guarded(Body&& body, Known known = UnknownFailure) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception& error) {
    return known(error);
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace quillmere::host
