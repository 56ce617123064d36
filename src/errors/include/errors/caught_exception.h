// What the exception in flight is, read once for both handlers that turn exceptions into
// answers: the entry's catch ladder and Execute's handler around a method. Each writes its
// own texts from it.
#pragma once

#include <string_view>

#include <winport/wide.h>
#include <winport/windows.h>

#include "errors/com_error.h"
#include "errors/structured_exception.h"

namespace quillmere {

enum class CaughtKind {
  kComError,         // comError
  kAutomation,       // an AutomationException: code, and narrow or wide text
  kAccessViolation,  // win32 is an access_violation
  kWin32,            // win32: any other hardware fault (numeric_exception too)
  kStandard,         // any other std::exception: narrow is what()
  kThrownHresult,    // a thrown HRESULT or LONG (where those are int, a negative int): number
  kThrownInt,        // number
  kThrownUnsigned,   // number
  kUnknown,          // anything else
};

struct CaughtException {
  CaughtKind kind = CaughtKind::kUnknown;
  // The HRESULT it carries (a hardware fault's exception code); E_FAIL when it has none.
  HRESULT code = E_FAIL;
  // Its own text as thrown, in one of the two: an automation exception's message, or
  // what() of a std::exception (a hardware fault's is its name).
  std::string_view narrow;
  winport::WideView wide;
  LONG number = 0;
  const _com_error* comError = nullptr;
  const win32_exception* win32 = nullptr;
};

// Call only inside a catch block: rethrows the exception in flight to read it. The views
// and pointers refer to the exception object, which lives until that catch block ends.
CaughtException ClassifyCaughtException() noexcept;

// The exception's own text, wide; narrow text is read in the thread's ANSI code page.
winport::WideString CaughtText(const CaughtException& caught);

}  // namespace quillmere
