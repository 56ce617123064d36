// The exception classes made from structured exceptions: the name lookup, the kind the
// translator picks for a code, the copies of record and context they keep, and their
// messages.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
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
    pointers.ExceptionRecord = &record;
    pointers.ContextRecord = &context;
  }
};

TEST(ExceptionName, IsLookedUpByCodeAndOtherwiseIsTheCodePaddedToEightPlaces) {
  const char* const division = "The thread attempted to divide a value by a divisor of zero";
  // Two codes share a name: the float and the integer division.
  const std::tuple<DWORD, const char*, const char*> rows[] = {
      {0xC000008E, "Division By Zero", division},
      {0xC0000094, "Division By Zero", division},
      {0xC0001234, "0xC0001234", kUnrecognised},
      {0x1A2B, "0x    1A2B", kUnrecognised}};
  for (const auto& [code, name, description] : rows) {
    EXPECT_EQ(quillmere::ExceptionName(code), name);
    EXPECT_STREQ(quillmere::ExceptionDescription(code), description);
    Fault fault(code);
    EXPECT_STREQ(win32_exception(&fault.pointers).what(), name);
  }
}

// 'A' access_violation, 'N' numeric_exception, 'W' win32_exception; around the boundaries.
TEST(Translator, ThrowsTheKindOfTheCodeWithCopiesOfRecordAndContext) {
  const std::pair<DWORD, char> rows[] = {{0xC0000005, 'A'}, {0xC000008C, 'W'}, {0xC000008D, 'N'},
                                         {0xC0000095, 'N'}, {0xC0000096, 'W'}, {0xC00002B3, 'W'},
                                         {0xC00002B4, 'N'}, {0xC00002B5, 'N'}, {0xC00002B6, 'W'}};
  for (const auto& [code, kind] : rows) {
    Fault fault(code, 0x401234, {0, 0x20});
    try {
      quillmere::TranslateStructuredException(code, &fault.pointers);
    } catch (const win32_exception& exception) {
      const char thrown = dynamic_cast<const access_violation*>(&exception)    ? 'A'
                          : dynamic_cast<const numeric_exception*>(&exception) ? 'N'
                                                                               : 'W';
      EXPECT_EQ(thrown, kind) << std::hex << code;
      EXPECT_EQ(exception.code(), code);
      ASSERT_NE(exception.record(), &fault.record);
      EXPECT_EQ(exception.record()->ExceptionInformation[1], 0x20u);
      ASSERT_NE(exception.context(), nullptr);
      EXPECT_EQ(std::memcmp(exception.context(), &fault.context, sizeof(CONTEXT)), 0);
    }
  }
}

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
  EXPECT_NE(assigned.context(), original->context());
  original.reset();
  for (const win32_exception* exception : {&copy, static_cast<const win32_exception*>(&assigned)}) {
    EXPECT_EQ(exception->code(), 0xC0001234u);
    EXPECT_STREQ(exception->what(), "0xC0001234");
    ASSERT_NE(exception->context(), nullptr);
    EXPECT_EQ(exception->context()->Rip, 0x401000u);
  }
  const win32_exception none(nullptr);
  const win32_exception empty(none);
  EXPECT_EQ(empty.code(), 0u);
  EXPECT_EQ(empty.context(), nullptr);
  EXPECT_STREQ(empty.what(), "0x       0");
}

// Execution prevented (8) is neither a write nor a read, and reads as a read; the
// parameters belong to access violations only.
TEST(AccessViolationMessage, NamesTheAccessAndItsAddress) {
  const std::tuple<DWORD, ULONG_PTR, ULONG_PTR, std::string> rows[] = {
      {0xC0000005, 0, 0xDEADBEEF0,
       "Access Violation  at  0x00007FF6000012AB\nAttempt to read at "
       "0x0000000DEADBEEF0"},
      {0xC0000005, 8, 0x10,
       "Access Violation  at  0x00007FF6000012AB\nAttempt to read at "
       "0x0000000000000010"},
      {0xC0000094, 1, 0x10,
       "Division By Zero  at  0x00007FF6000012AB\nAttempt to read at "
       "0x0000000000000000"}};
  for (const auto& [code, access, address, message] : rows) {
    Fault fault(code, 0x7FF6000012AB, {access, address});
    EXPECT_EQ(quillmere::AccessViolationMessage(access_violation(&fault.pointers)),
              "Win32 Exception:  " + message);
  }
  EXPECT_EQ(quillmere::AccessViolationMessage(access_violation(nullptr)),
            "Win32 Exception:  0x       0  at  0x0000000000000000\n"
            "Attempt to read at 0x0000000000000000");
}

TEST(Win32ExceptionMessage, ShowsAllSixtyFourBitsOfTheAddressAndIsCutAt200Characters) {
  Fault fault(0x80000002, 0xFFFFFFFFFFFFFFFF);
  const std::string full =
      "Win32 Exception:  Datatype Misalignment  at  0xFFFFFFFFFFFFFFFF\n"
      "The thread attempted to read or write data that is misaligned on hardware that does not "
      "provide alignment. For example, 16-bit values must be aligned on 2-byte boundaries, "
      "32-bit values on 4-byte boundaries, and so on";
  EXPECT_EQ(quillmere::Win32ExceptionMessage(win32_exception(&fault.pointers)),
            full.substr(0, 200));
}

}  // namespace
