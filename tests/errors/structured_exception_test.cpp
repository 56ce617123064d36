// The exception classes made from structured exceptions: the kind the translator picks
// for a code and the copies of record and context they keep. Their texts, as an entry
// reports them, are pinned with the catch ladder.
#include <gtest/gtest.h>

#include <memory>

#include <winport/windows.h>

#include "errors/structured_exception.h"
#include "errors_testing.h"

namespace {

using errors_test::FaultRecord;
using quillmere::access_violation;
using quillmere::numeric_exception;
using quillmere::win32_exception;

// 'A' access_violation, 'N' numeric_exception, 'W' win32_exception; around the boundaries.
TEST(Translator, ThrowsTheKindOfTheCode) {
  const std::pair<DWORD, char> rows[] = {{0xC0000005, 'A'}, {0xC000008C, 'W'}, {0xC000008D, 'N'},
                                         {0xC0000095, 'N'}, {0xC0000096, 'W'}, {0xC00002B3, 'W'},
                                         {0xC00002B4, 'N'}, {0xC00002B5, 'N'}, {0xC00002B6, 'W'}};
  for (const auto& [code, kind] : rows) {
    FaultRecord fault(code);
    try {
      quillmere::TranslateStructuredException(code, &fault.pointers);
      ADD_FAILURE() << "nothing thrown for " << std::hex << code;
    } catch (const win32_exception& exception) {
      const char thrown = dynamic_cast<const access_violation*>(&exception)    ? 'A'
                          : dynamic_cast<const numeric_exception*>(&exception) ? 'N'
                                                                               : 'W';
      EXPECT_EQ(thrown, kind) << std::hex << code;
      EXPECT_EQ(exception.code(), code);
    }
  }
}

TEST(Translator, ClearsTheFloatingPointStatusBeforeThrowing) {
  volatile double zero = 0.0;
  volatile double quotient = 1.0 / zero;  // masked: raises the zero-divide flag only
  (void)quotient;
  FaultRecord fault(0xC000008E);
  EXPECT_THROW(quillmere::TranslateStructuredException(0xC000008E, &fault.pointers),
               numeric_exception);
  EXPECT_EQ(_clearfp() & 0x08u, 0u);
}

TEST(Win32Exception, CopiesOwnTheirRecordAndContext) {
  FaultRecord fault(0xC0001234, 0x401000);
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

}  // namespace
