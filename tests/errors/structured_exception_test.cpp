// The exception classes made from structured exceptions: their names and texts, the kind
// the translator picks for a code, and the copies of record and context they keep.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <winport/windows.h>

#include "errors/structured_exception.h"

namespace {

using quillmere::access_violation;
using quillmere::numeric_exception;
using quillmere::win32_exception;

constexpr const char* kUnrecognised =
    "The hardware exception handler in Vexora encountered an exception with an unrecognized "
    "ID value.";

struct Fault {
  EXCEPTION_RECORD record{};
  CONTEXT context{};
  EXCEPTION_POINTERS pointers{};

  explicit Fault(DWORD code, ULONG_PTR address = 0, std::vector<ULONG_PTR> parameters = {}) {
    record.ExceptionCode = code;
    record.ExceptionAddress = reinterpret_cast<PVOID>(address);
    record.NumberParameters = static_cast<DWORD>(parameters.size());
    for (std::size_t i = 0; i < parameters.size(); ++i)
      record.ExceptionInformation[i] = parameters[i];
    context.Rip = address;
    context.Rsp = 0x5000;
    pointers.ExceptionRecord = &record;
    pointers.ContextRecord = &context;
  }
};

struct CodeText {
  DWORD code;
  const char* name;
  const char* description;
};

void PrintTo(const CodeText& row, std::ostream* out) {
  *out << std::hex << row.code;
}

class ExceptionCodeText : public testing::TestWithParam<CodeText> {};

TEST_P(ExceptionCodeText, NamesAndDescribesTheCode) {
  const CodeText& row = GetParam();
  EXPECT_EQ(quillmere::ExceptionName(row.code), row.name);
  EXPECT_STREQ(quillmere::ExceptionDescription(row.code), row.description);
  Fault fault(row.code);
  EXPECT_STREQ(win32_exception(&fault.pointers).what(), row.name);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ExceptionCodeText,
    testing::Values(
        CodeText{0xC0000005, "Access Violation",
                 "The thread attempted to read from or write to a virtual address for which it "
                 "does not have the appropriate access"},
        CodeText{0x80000001, "Guard Page",
                 " A thread attempted to access a page of memory that has the PAGE_GUARD "
                 "protection attribute."},
        CodeText{0x80000002, "Datatype Misalignment",
                 "The thread attempted to read or write data that is misaligned on hardware that "
                 "does not provide alignment. For example, 16-bit values must be aligned on "
                 "2-byte boundaries, 32-bit values on 4-byte boundaries, and so on"},
        CodeText{0x80000003, "Breakpoint", "A breakpoint was encountered"},
        CodeText{0x80000004, "Single Step",
                 "A trace trap or other single-instruction mechanism signaled that one "
                 "instruction has been executed"},
        CodeText{0xC0000006, "In Page Error",
                 "The thread tried to access a page that was not present, and the system was "
                 "unable to load the page. For example, this exception might occur if a network "
                 "connection is lost while running a program over the network"},
        CodeText{0xC0000008, "Invalid Handle",
                 "The thread used a handle to a kernel object that was invalid (probably because "
                 "it had been closed.)"},
        CodeText{0xC0000017, "No Memory",
                 "The allocation attempt failed because of a lack of available memory or heap "
                 "corruption"},
        CodeText{0xC000001D, "Illegal Instruction",
                 "The thread tried to execute an invalid instruction"},
        CodeText{0xC0000025, "Noncontinuable Exception",
                 "The thread attempted to continue execution after a noncontinuable exception "
                 "occurred"},
        CodeText{0xC0000026, "Invalid Disposition",
                 "An exception handler returned an invalid disposition to the exception "
                 "dispatcher. Programmers using a high-level language such as C should never "
                 "encounter this exception"},
        CodeText{0xC000008C, "Array Bounds Exceeded",
                 "The thread attempted to access an array element that is out of bounds, and the "
                 "underlying hardware supports bounds checking"},
        CodeText{0xC000008D, "Float Denormal Operand",
                 "One of the operands in a floating-point operation is denormal. A denormal "
                 "value is one that is too small to represent as a standard floating-point "
                 "value"},
        CodeText{0xC000008E, "Division By Zero",
                 "The thread attempted to divide a value by a divisor of zero"},
        CodeText{0xC000008F, "Float Inexact Result",
                 "The result of a floating-point operation cannot be represented exactly as a "
                 "decimal fraction"},
        CodeText{0xC0000090, "Float Invalid Operation",
                 "This exception represents any floating-point exception not included in this "
                 "list"},
        CodeText{0xC0000091, "Float Overflow",
                 "The exponent of a floating-point operation is greater than the magnitude "
                 "allowed by the corresponding type"},
        CodeText{0xC0000092, "Float Stack Check",
                 "The stack overflowed or underflowed as the result of a floating-point "
                 "operation"},
        CodeText{0xC0000093, "Float Underflow",
                 "The exponent of a floating-point operation is less than the magnitude allowed "
                 "by the corresponding type"},
        CodeText{0xC0000094, "Division By Zero",
                 "The thread attempted to divide a value by a divisor of zero"},
        CodeText{0xC0000095, "Integer Overflow",
                 "The result of an integer operation caused a carry out of the most significant "
                 "bit of the result"},
        CodeText{0xC0000096, "Privileged Instruction",
                 "The thread attempted to execute an instruction whose operation is not allowed "
                 "in the current machine mode"},
        CodeText{0xC00000FD, "Stack Overflow", "The thread used up its stack"},
        CodeText{0xC00002B4, "Multiple SSE Faults",
                 "Parallel floating point operation produced multiple faults"},
        CodeText{0xC00002B5, "Multiple SSE Traps",
                 "Parallel floating point operation produced multiple traps"},
        CodeText{0xE06D7363, "Microsoft C++ Exception",
                 "A software-defined exception was caught by the hardware exception handler; "
                 "this is not normal."},
        // Codes outside the table are named by their value, padded to eight places.
        CodeText{0xC0001234, "0xC0001234", kUnrecognised},
        CodeText{0x80000000, "0x80000000", kUnrecognised},
        CodeText{0x1A2B, "0x    1A2B", kUnrecognised}));

enum class Kind { kAccessViolation, kNumeric, kWin32 };

struct TranslatedCode {
  DWORD code;
  Kind kind;
};

void PrintTo(const TranslatedCode& row, std::ostream* out) {
  *out << std::hex << row.code;
}

class Translator : public testing::TestWithParam<TranslatedCode> {};

TEST_P(Translator, ThrowsTheKindOfTheCodeWithCopiesOfRecordAndContext) {
  Fault fault(GetParam().code, 0x401234, {0, 0x20});
  try {
    quillmere::TranslateStructuredException(GetParam().code, &fault.pointers);
    FAIL() << "the translator returned";
  } catch (const win32_exception& exception) {
    const bool isAccessViolation = dynamic_cast<const access_violation*>(&exception) != nullptr;
    const bool isNumeric = dynamic_cast<const numeric_exception*>(&exception) != nullptr;
    EXPECT_EQ(isAccessViolation, GetParam().kind == Kind::kAccessViolation);
    EXPECT_EQ(isNumeric, GetParam().kind == Kind::kNumeric);
    EXPECT_EQ(exception.code(), GetParam().code);
    ASSERT_NE(exception.record(), nullptr);
    ASSERT_NE(exception.context(), nullptr);
    EXPECT_NE(exception.record(), &fault.record);
    EXPECT_EQ(exception.record()->ExceptionAddress, reinterpret_cast<PVOID>(0x401234));
    EXPECT_EQ(exception.record()->ExceptionInformation[1], 0x20u);
    EXPECT_EQ(std::memcmp(exception.context(), &fault.context, sizeof(CONTEXT)), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, Translator,
    testing::Values(
        TranslatedCode{0xC0000005, Kind::kAccessViolation},
        TranslatedCode{0xC000008C, Kind::kWin32}, TranslatedCode{0xC000008D, Kind::kNumeric},
        TranslatedCode{0xC0000090, Kind::kNumeric}, TranslatedCode{0xC0000094, Kind::kNumeric},
        TranslatedCode{0xC0000095, Kind::kNumeric}, TranslatedCode{0xC0000096, Kind::kWin32},
        TranslatedCode{0xC00002B3, Kind::kWin32}, TranslatedCode{0xC00002B4, Kind::kNumeric},
        TranslatedCode{0xC00002B5, Kind::kNumeric}, TranslatedCode{0xC00002B6, Kind::kWin32},
        TranslatedCode{0xC00000FD, Kind::kWin32}, TranslatedCode{0x80000003, Kind::kWin32}));

TEST(Translator, ClearsTheFloatingPointStatusBeforeThrowing) {
  volatile double zero = 0.0;
  volatile double quotient = 1.0 / zero;  // masked: raises the zero-divide flag only
  (void)quotient;
  Fault fault(0xC000008E);
  EXPECT_THROW(quillmere::TranslateStructuredException(0xC000008E, &fault.pointers),
               numeric_exception);
  EXPECT_EQ(_clearfp() & 0x08u, 0u);
}

TEST(Win32Exception, CopiesOwnTheirRecordAndContext) {
  Fault fault(0xC0001234, 0x401000);
  auto original = std::make_unique<win32_exception>(&fault.pointers);
  fault.record.ExceptionCode = 0xC0000094;  // the platform's record dies with its handler
  const win32_exception copy(*original);
  win32_exception assigned(nullptr);
  assigned = *original;
  EXPECT_NE(copy.record(), original->record());
  EXPECT_NE(copy.context(), original->context());
  EXPECT_NE(assigned.record(), original->record());
  original.reset();
  for (const win32_exception* exception : {&copy, static_cast<const win32_exception*>(&assigned)}) {
    EXPECT_EQ(exception->code(), 0xC0001234u);
    EXPECT_STREQ(exception->what(), "0xC0001234");
    ASSERT_NE(exception->context(), nullptr);
    EXPECT_EQ(exception->context()->Rip, 0x401000u);
  }
}

TEST(Win32Exception, WithoutRecordHasCodeZeroAndNoContext) {
  const win32_exception exception(nullptr);
  EXPECT_EQ(exception.code(), 0u);
  EXPECT_EQ(exception.record(), nullptr);
  EXPECT_EQ(exception.context(), nullptr);
  EXPECT_STREQ(exception.what(), "0x       0");
  const win32_exception copy(exception);
  EXPECT_EQ(copy.record(), nullptr);
  EXPECT_STREQ(copy.what(), "0x       0");
}

struct MessageCase {
  const char* name;
  DWORD code;
  ULONG_PTR address;
  std::vector<ULONG_PTR> parameters;
  std::string message;
};

void PrintTo(const MessageCase& row, std::ostream* out) {
  *out << row.name;
}

class AccessViolationMessage : public testing::TestWithParam<MessageCase> {};

TEST_P(AccessViolationMessage, NamesTheAccessAndItsAddress) {
  Fault fault(GetParam().code, GetParam().address, GetParam().parameters);
  EXPECT_EQ(quillmere::AccessViolationMessage(access_violation(&fault.pointers)),
            GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Records, AccessViolationMessage,
    testing::Values(MessageCase{"Write",
                                0xC0000005,
                                0x7FF6000012AB,
                                {1, 0x10},
                                "Win32 Exception:  Access Violation  at  0x00007FF6000012AB\n"
                                "Attempt to write at 0x0000000000000010"},
                    MessageCase{"Read",
                                0xC0000005,
                                0x401000,
                                {0, 0xDEADBEEF0},
                                "Win32 Exception:  Access Violation  at  0x0000000000401000\n"
                                "Attempt to read at 0x0000000DEADBEEF0"},
                    // Execution prevented: neither a write nor a read, and reported as a read.
                    MessageCase{"Execute",
                                0xC0000005,
                                0x10,
                                {8, 0x10},
                                "Win32 Exception:  Access Violation  at  0x0000000000000010\n"
                                "Attempt to read at 0x0000000000000010"},
                    // The parameters belong to access violations only.
                    MessageCase{"OtherCode",
                                0xC0000094,
                                0x401000,
                                {1, 0x10},
                                "Win32 Exception:  Division By Zero  at  0x0000000000401000\n"
                                "Attempt to read at 0x0000000000000000"}),
    [](const testing::TestParamInfo<MessageCase>& info) { return std::string(info.param.name); });

TEST(AccessViolationMessage, WithoutRecordReadsAtZero) {
  EXPECT_EQ(quillmere::AccessViolationMessage(access_violation(nullptr)),
            "Win32 Exception:  0x       0  at  0x0000000000000000\n"
            "Attempt to read at 0x0000000000000000");
}

TEST(Win32ExceptionMessage, IsCutAt200Characters) {
  Fault fault(0x80000002, 0x401000);
  const std::string full =
      "Win32 Exception:  Datatype Misalignment  at  0x0000000000401000\n"
      "The thread attempted to read or write data that is misaligned on hardware that does not "
      "provide alignment. For example, 16-bit values must be aligned on 2-byte boundaries, "
      "32-bit values on 4-byte boundaries, and so on";
  EXPECT_EQ(quillmere::Win32ExceptionMessage(win32_exception(&fault.pointers)),
            full.substr(0, 200));
}

TEST(Win32ExceptionMessage, ShowsAllSixtyFourBitsOfTheAddress) {
  Fault fault(0x80000001, 0xFFFFFFFFFFFFFFFF);
  EXPECT_EQ(quillmere::Win32ExceptionMessage(win32_exception(&fault.pointers)),
            "Win32 Exception:  Guard Page  at  0xFFFFFFFFFFFFFFFF\n"
            " A thread attempted to access a page of memory that has the PAGE_GUARD protection "
            "attribute.");
}

}  // namespace
