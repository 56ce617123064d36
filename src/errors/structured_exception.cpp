#include "errors/structured_exception.h"

#include <cstdio>

#include "bounded_format.h"

namespace quillmere {

namespace {

struct ExceptionText {
  DWORD code;
  const char* name;
  const char* description;
};

// clang-format off
constexpr ExceptionText kExceptionTexts[] = {
    {0xC0000005, "Access Violation",
     "The thread attempted to read from or write to a virtual address for which it does not "
     "have the appropriate access"},
    {0x80000001, "Guard Page",
     " A thread attempted to access a page of memory that has the PAGE_GUARD protection "
     "attribute."},
    {0x80000002, "Datatype Misalignment",
     "The thread attempted to read or write data that is misaligned on hardware that does not "
     "provide alignment. For example, 16-bit values must be aligned on 2-byte boundaries, "
     "32-bit values on 4-byte boundaries, and so on"},
    {0x80000003, "Breakpoint", "A breakpoint was encountered"},
    {0x80000004, "Single Step",
     "A trace trap or other single-instruction mechanism signaled that one instruction has "
     "been executed"},
    {0xC0000006, "In Page Error",
     "The thread tried to access a page that was not present, and the system was unable to "
     "load the page. For example, this exception might occur if a network connection is lost "
     "while running a program over the network"},
    {0xC0000008, "Invalid Handle",
     "The thread used a handle to a kernel object that was invalid (probably because it had "
     "been closed.)"},
    {0xC0000017, "No Memory",
     "The allocation attempt failed because of a lack of available memory or heap corruption"},
    {0xC000001D, "Illegal Instruction", "The thread tried to execute an invalid instruction"},
    {0xC0000025, "Noncontinuable Exception",
     "The thread attempted to continue execution after a noncontinuable exception occurred"},
    {0xC0000026, "Invalid Disposition",
     "An exception handler returned an invalid disposition to the exception dispatcher. "
     "Programmers using a high-level language such as C should never encounter this "
     "exception"},
    {0xC000008C, "Array Bounds Exceeded",
     "The thread attempted to access an array element that is out of bounds, and the "
     "underlying hardware supports bounds checking"},
    {0xC000008D, "Float Denormal Operand",
     "One of the operands in a floating-point operation is denormal. A denormal value is one "
     "that is too small to represent as a standard floating-point value"},
    {0xC000008E, "Division By Zero", "The thread attempted to divide a value by a divisor of zero"},
    {0xC0000094, "Division By Zero", "The thread attempted to divide a value by a divisor of zero"},
    {0xC000008F, "Float Inexact Result",
     "The result of a floating-point operation cannot be represented exactly as a decimal "
     "fraction"},
    {0xC0000090, "Float Invalid Operation",
     "This exception represents any floating-point exception not included in this list"},
    {0xC0000091, "Float Overflow",
     "The exponent of a floating-point operation is greater than the magnitude allowed by the "
     "corresponding type"},
    {0xC0000092, "Float Stack Check",
     "The stack overflowed or underflowed as the result of a floating-point operation"},
    {0xC0000093, "Float Underflow",
     "The exponent of a floating-point operation is less than the magnitude allowed by the "
     "corresponding type"},
    {0xC0000095, "Integer Overflow",
     "The result of an integer operation caused a carry out of the most significant bit of the "
     "result"},
    {0xC0000096, "Privileged Instruction",
     "The thread attempted to execute an instruction whose operation is not allowed in the "
     "current machine mode"},
    {0xC00000FD, "Stack Overflow", "The thread used up its stack"},
    {0xC00002B4, "Multiple SSE Faults", "Parallel floating point operation produced multiple faults"},
    {0xC00002B5, "Multiple SSE Traps", "Parallel floating point operation produced multiple traps"},
    {0xE06D7363, "Microsoft C++ Exception",
     "A software-defined exception was caught by the hardware exception handler; this is not "
     "normal."},
};
// clang-format on

constexpr const char* kUnrecognisedDescription =
    "The hardware exception handler in Vexora encountered an exception with an unrecognized "
    "ID value.";

constexpr DWORD kAccessViolation = 0xC0000005;
constexpr std::size_t kMessageLimit = 200;

const ExceptionText* FindText(DWORD code) {
  for (const ExceptionText& text : kExceptionTexts) {
    if (text.code == code) return &text;
  }
  return nullptr;
}

bool IsNumericCode(DWORD code) {
  return (code >= 0xC000008D && code <= 0xC0000095) || code == 0xC00002B4 || code == 0xC00002B5;
}

unsigned long long ExceptionAddress(const win32_exception& exception) {
  const EXCEPTION_RECORD* record = exception.record();
  return record != nullptr ? static_cast<unsigned long long>(
                                 reinterpret_cast<ULONG_PTR>(record->ExceptionAddress))
                           : 0;
}

template <class T>
std::unique_ptr<T> CopyOf(const T* source) {
  if (source == nullptr) return nullptr;
  return std::make_unique<T>(*source);
}

}  // namespace

win32_exception::win32_exception(const EXCEPTION_POINTERS* pointers) {
  if (pointers != nullptr) {
    record_ = CopyOf(pointers->ExceptionRecord);
    context_ = CopyOf(pointers->ContextRecord);
  }
  // A chained record belongs to the dispatcher's frame, gone once the exception is thrown.
  if (record_) record_->ExceptionRecord = nullptr;
  std::snprintf(unrecognisedName_, sizeof unrecognisedName_, "0x%8X",
                static_cast<unsigned>(code()));
}

win32_exception::win32_exception(const win32_exception& other)
    : std::exception(other),
      record_(CopyOf(other.record_.get())),
      context_(CopyOf(other.context_.get())) {
  std::snprintf(unrecognisedName_, sizeof unrecognisedName_, "%s", other.unrecognisedName_);
}

win32_exception& win32_exception::operator=(const win32_exception& other) {
  if (this != &other) {
    std::unique_ptr<EXCEPTION_RECORD> record = CopyOf(other.record_.get());
    std::unique_ptr<CONTEXT> context = CopyOf(other.context_.get());
    std::exception::operator=(other);
    record_ = std::move(record);
    context_ = std::move(context);
    std::snprintf(unrecognisedName_, sizeof unrecognisedName_, "%s", other.unrecognisedName_);
  }
  return *this;
}

win32_exception::~win32_exception() = default;

DWORD win32_exception::code() const noexcept {
  return record_ ? record_->ExceptionCode : 0;
}

const char* win32_exception::what() const noexcept {
  const ExceptionText* text = FindText(code());
  return text != nullptr ? text->name : unrecognisedName_;
}

std::string ExceptionName(DWORD code) {
  const ExceptionText* text = FindText(code);
  return text != nullptr ? std::string(text->name)
                         : BoundedFormat(15, "0x%8X", static_cast<unsigned>(code));
}

const char* ExceptionDescription(DWORD code) {
  const ExceptionText* text = FindText(code);
  return text != nullptr ? text->description : kUnrecognisedDescription;
}

std::string Win32ExceptionMessage(const win32_exception& exception) {
  return BoundedFormat(kMessageLimit, "Win32 Exception:  %s  at  0x%016llX\n%s", exception.what(),
                       ExceptionAddress(exception), ExceptionDescription(exception.code()));
}

std::string AccessViolationMessage(const access_violation& exception) {
  const EXCEPTION_RECORD* record = exception.record();
  const bool isAccessViolation = record != nullptr && record->ExceptionCode == kAccessViolation;
  const bool isWrite =
      isAccessViolation && record->NumberParameters >= 1 && record->ExceptionInformation[0] == 1;
  const unsigned long long accessed =
      isAccessViolation && record->NumberParameters >= 2
          ? static_cast<unsigned long long>(record->ExceptionInformation[1])
          : 0;
  return BoundedFormat(
      kMessageLimit, "Win32 Exception:  %s  at  0x%016llX\nAttempt to %s at 0x%016llX",
      exception.what(), ExceptionAddress(exception), isWrite ? "write" : "read", accessed);
}

void __cdecl TranslateStructuredException(unsigned int code, EXCEPTION_POINTERS* pointers) {
  // A floating-point fault would fire again in the handler's own arithmetic otherwise.
  _clearfp();
  _fpreset();
  if (code == kAccessViolation) throw access_violation(pointers);
  if (IsNumericCode(code)) throw numeric_exception(pointers);
  throw win32_exception(pointers);
}

ScopedSeTranslator::ScopedSeTranslator()
    : previous_(_set_se_translator(TranslateStructuredException)) {}

ScopedSeTranslator::~ScopedSeTranslator() {
  _set_se_translator(previous_);
}

}  // namespace quillmere
