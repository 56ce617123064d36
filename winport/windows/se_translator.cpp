// _set_se_translator for g++ on Windows: one vectored exception handler, installed on
// first use, hands hardware faults to the faulting thread's translator, which throws.
// The throw unwinds from the handler through the faulting frame, which works for code
// built with -fnon-call-exceptions.
#include <winport/se_translator.h>
#include <winport/windows.h>

namespace {

thread_local _se_translator_function t_translator = nullptr;

// Faults raised by the processor; software exceptions (a C++ throw among them) pass.
bool IsHardwareFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_IN_PAGE_ERROR:
      return true;
    default:
      return false;
  }
}

LONG CALLBACK TranslateFault(EXCEPTION_POINTERS* pointers) {
  const _se_translator_function translator = t_translator;
  const DWORD code = pointers->ExceptionRecord->ExceptionCode;
  if (translator == nullptr || !IsHardwareFault(code)) return EXCEPTION_CONTINUE_SEARCH;
  translator(code, pointers);
  // A translator that returns leaves the fault to the next handler, as on Windows.
  return EXCEPTION_CONTINUE_SEARCH;
}

// Removed with the static objects of the program or library this code is linked into:
// a library unloaded while the process goes on must not leave the process a handler in
// code that is gone, which the next exception of any kind would call.
class InstalledHandler {
 public:
  InstalledHandler() : handler_(AddVectoredExceptionHandler(1, TranslateFault)) {}
  ~InstalledHandler() {
    if (handler_ != nullptr) RemoveVectoredExceptionHandler(handler_);
  }
  InstalledHandler(const InstalledHandler&) = delete;
  InstalledHandler& operator=(const InstalledHandler&) = delete;

 private:
  void* handler_;
};

}  // namespace

_se_translator_function __cdecl _set_se_translator(_se_translator_function _NewPtFunc) {
  static const InstalledHandler installed;
  const _se_translator_function previous = t_translator;
  t_translator = _NewPtFunc;
  return previous;
}
