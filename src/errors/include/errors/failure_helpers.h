// The two small error-path helpers every layer uses instead of writing its own handler.
#pragma once

#include <new>
#include <type_traits>
#include <utility>

#include "errors/com_error.h"

namespace quillmere {

// Runs work and drops whatever it throws: for work whose failure must not change what the
// caller goes on to do (a report, a trace, a status event, error info). Answers whether
// work ran through.
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

}  // namespace quillmere
