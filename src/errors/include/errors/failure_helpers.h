// The small error-path helpers every layer uses instead of writing its own handler.
#pragma once

#include <new>
#include <type_traits>
#include <utility>

#include "errors/com_error.h"

namespace quillmere {

// Runs work and drops whatever it throws; answers whether work ran through. For work whose
// failure must not reach the caller (a report, a trace, a status event, error info), and
// for a guard that answers every failure of its work alike, whatever was thrown (a walk).
template <class Work>
bool RunIgnoringFailure(Work&& work) noexcept {
  try {
    std::forward<Work>(work)();
    return true;
  } catch (...) {
    return false;
  }
}

// Runs work, raising an allocation failure the way every failure of the module is raised:
// as _com_error E_OUTOFMEMORY, with no error info of its own. Answers what work answers.
template <class Work>
decltype(auto) OrOutOfMemory(Work&& work) {
  try {
    return std::forward<Work>(work)();
  } catch (const std::bad_alloc&) {
    RaiseComErrorWithoutInfo(E_OUTOFMEMORY);
  }
}

// Runs work at a COM boundary with no reporting to tell (the library's attach, making an
// object): S_OK when it ran through, E_OUTOFMEMORY when an allocation failed, a COM error's
// HRESULT. Anything else it throws goes on to the caller.
template <class Work>
HRESULT RunAnsweringComOrMemoryError(Work&& work) {
  try {
    std::forward<Work>(work)();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const _com_error& error) {
    return error.Error();
  }
}

// Runs work, which keeps `reached` up to date as it goes: a COM error it throws becomes the
// answer, and anything else it throws leaves the answer it had reached. For an operation
// that answers every failure itself, without a catch ladder.
template <class Work>
HRESULT RunAnsweringComError(HRESULT& reached, Work&& work) noexcept {
  try {
    std::forward<Work>(work)();
  } catch (const _com_error& error) {
    return error.Error();
  } catch (...) {
  }
  return reached;
}

}  // namespace quillmere
