// _set_se_translator: hardware faults inside code built with -fnon-call-exceptions become
// C++ exceptions thrown by the faulting thread's translator, with Windows' codes.
#include <gtest/gtest.h>

#include <winport/windows.h>

#include "hardware_faults.h"

namespace {

struct Fault {
  unsigned code;
  ULONG_PTR access_kind;  // first parameter of an access violation: 0 read, 1 write
  ULONG_PTR address;      // second parameter: the address touched
};

void ThrowFault(unsigned code, EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  Fault fault{code, 0, 0};
  if (record->NumberParameters >= 2) {
    fault.access_kind = record->ExceptionInformation[0];
    fault.address = record->ExceptionInformation[1];
  }
  throw fault;
}

using testing_support::Divide;
using testing_support::ReadFrom;

Fault CatchFault(void (*body)()) {
  try {
    body();
  } catch (const Fault& fault) {
    return fault;
  }
  return Fault{0, 0, 0};
}

// Which thread translates, how the module's translator reads the record and a write's
// access violation are tested with the module's entry discipline.
TEST(SeTranslator, FaultsBecomeExceptionsWithWindowsCodesAndParameters) {
  const _se_translator_function previous = _set_se_translator(ThrowFault);
  const Fault divide = CatchFault([] { Divide(1, 0); });
  const Fault read = CatchFault([] { ReadFrom(0x20); });
  EXPECT_EQ(_set_se_translator(previous), ThrowFault);
  EXPECT_EQ(divide.code, 0xC0000094u);
  EXPECT_EQ(read.code, 0xC0000005u);
  EXPECT_EQ(read.access_kind, 0u);
  EXPECT_EQ(read.address, 0x20u);
}

TEST(FloatingPointStatus, ClearfpReturnsAndClearsTheRaisedFlags) {
  _clearfp();
  volatile double zero = 0.0;
  volatile double quotient = 1.0 / zero;  // masked: sets the zero-divide flag, no trap
  (void)quotient;
  EXPECT_NE(_clearfp() & 0x08u, 0u);  // _SW_ZERODIVIDE
  EXPECT_EQ(_clearfp() & 0x08u, 0u);
  _fpreset();
}

}  // namespace
