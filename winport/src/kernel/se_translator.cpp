// Hardware faults as structured exceptions: one signal handler for SIGSEGV, SIGBUS,
// SIGFPE and SIGILL turns the fault into Windows' exception record and context and hands
// them to the faulting thread's translator, which throws. The throw unwinds from the
// handler through the signal frame into the faulting function, which works for code
// built with -fnon-call-exceptions. A thread without a translator gets the default
// action, as if no handler were installed.
#include <winport/se_translator.h>

#include <ucontext.h>
#include <cfenv>
#include <csignal>
#include <cstring>
#include <mutex>

namespace {

thread_local _se_translator_function t_translator = nullptr;

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};

DWORD FloatingPointCode(int si_code) {
  switch (si_code) {
    case FPE_INTDIV:
      return EXCEPTION_INT_DIVIDE_BY_ZERO;
    case FPE_INTOVF:
      return EXCEPTION_INT_OVERFLOW;
    case FPE_FLTDIV:
      return EXCEPTION_FLT_DIVIDE_BY_ZERO;
    case FPE_FLTOVF:
      return EXCEPTION_FLT_OVERFLOW;
    case FPE_FLTUND:
      return EXCEPTION_FLT_UNDERFLOW;
    case FPE_FLTRES:
      return EXCEPTION_FLT_INEXACT_RESULT;
    case FPE_FLTSUB:
      return EXCEPTION_ARRAY_BOUNDS_EXCEEDED;
    default:
      return EXCEPTION_FLT_INVALID_OPERATION;
  }
}

// The page-fault error code's bit 1 says the access was a write.
constexpr greg_t kPageFaultWrite = 0x2;

void FillContext(const mcontext_t& machine, CONTEXT* context) {
  const greg_t* r = machine.gregs;
  context->ContextFlags = CONTEXT_INTEGER | CONTEXT_CONTROL;
  context->EFlags = static_cast<DWORD>(r[REG_EFL]);
  context->Rax = static_cast<DWORD64>(r[REG_RAX]);
  context->Rcx = static_cast<DWORD64>(r[REG_RCX]);
  context->Rdx = static_cast<DWORD64>(r[REG_RDX]);
  context->Rbx = static_cast<DWORD64>(r[REG_RBX]);
  context->Rsp = static_cast<DWORD64>(r[REG_RSP]);
  context->Rbp = static_cast<DWORD64>(r[REG_RBP]);
  context->Rsi = static_cast<DWORD64>(r[REG_RSI]);
  context->Rdi = static_cast<DWORD64>(r[REG_RDI]);
  context->R8 = static_cast<DWORD64>(r[REG_R8]);
  context->R9 = static_cast<DWORD64>(r[REG_R9]);
  context->R10 = static_cast<DWORD64>(r[REG_R10]);
  context->R11 = static_cast<DWORD64>(r[REG_R11]);
  context->R12 = static_cast<DWORD64>(r[REG_R12]);
  context->R13 = static_cast<DWORD64>(r[REG_R13]);
  context->R14 = static_cast<DWORD64>(r[REG_R14]);
  context->R15 = static_cast<DWORD64>(r[REG_R15]);
  context->Rip = static_cast<DWORD64>(r[REG_RIP]);
}

void FillRecord(int signal, const siginfo_t* info, const mcontext_t& machine,
                EXCEPTION_RECORD* record) {
  std::memset(record, 0, sizeof *record);
  record->ExceptionAddress = reinterpret_cast<PVOID>(machine.gregs[REG_RIP]);
  switch (signal) {
    case SIGFPE:
      record->ExceptionCode = FloatingPointCode(info->si_code);
      break;
    case SIGILL:
      record->ExceptionCode =
          info->si_code == ILL_PRVOPC ? EXCEPTION_PRIV_INSTRUCTION : EXCEPTION_ILLEGAL_INSTRUCTION;
      break;
    case SIGBUS:
      if (info->si_code == BUS_ADRALN) {
        record->ExceptionCode = EXCEPTION_DATATYPE_MISALIGNMENT;
        break;
      }
      [[fallthrough]];
    default:  // SIGSEGV: parameter 0 is 0 for a read, 1 for a write; 1 the address
      record->ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
      record->NumberParameters = 2;
      record->ExceptionInformation[0] = (machine.gregs[REG_ERR] & kPageFaultWrite) != 0 ? 1 : 0;
      record->ExceptionInformation[1] = reinterpret_cast<ULONG_PTR>(info->si_addr);
      break;
  }
}

void OnFault(int signal, siginfo_t* info, void* raw_context) {
  const _se_translator_function translator = t_translator;
  if (translator == nullptr) {
    // Returning re-runs the faulting instruction, which now meets the default action.
    std::signal(signal, SIG_DFL);
    return;
  }
  const mcontext_t& machine = static_cast<ucontext_t*>(raw_context)->uc_mcontext;
  EXCEPTION_RECORD record;
  CONTEXT context;
  FillRecord(signal, info, machine, &record);
  FillContext(machine, &context);
  EXCEPTION_POINTERS pointers{&record, &context};
  translator(record.ExceptionCode, &pointers);
  // A translator that returns leaves the fault unhandled, as on Windows.
  std::signal(signal, SIG_DFL);
}

void InstallHandlers() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_sigaction = OnFault;
  // The handler does not return when the translator throws, so the signal must not stay
  // blocked for the next fault on this thread.
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  for (int signal : kSignals)
    sigaction(signal, &action, nullptr);
}

}  // namespace

_se_translator_function _set_se_translator(_se_translator_function _NewPtFunc) {
  static std::once_flag installed;
  if (_NewPtFunc != nullptr) std::call_once(installed, InstallHandlers);
  const _se_translator_function previous = t_translator;
  t_translator = _NewPtFunc;
  return previous;
}

unsigned int _clearfp() {
  // The status word in Windows' bit order: invalid 0x10, zero-divide 0x08, overflow 0x04,
  // underflow 0x02, inexact 0x01, denormal 0x80000.
  const int raised = std::fetestexcept(FE_ALL_EXCEPT);
  unsigned int status = 0;
  if (raised & FE_INVALID) status |= 0x10;
  if (raised & FE_DIVBYZERO) status |= 0x08;
  if (raised & FE_OVERFLOW) status |= 0x04;
  if (raised & FE_UNDERFLOW) status |= 0x02;
  if (raised & FE_INEXACT) status |= 0x01;
  std::feclearexcept(FE_ALL_EXCEPT);
  asm volatile("fnclex");
  return status;
}

void _fpreset() {
  asm volatile("fninit");
  std::fesetenv(FE_DFL_ENV);
}
