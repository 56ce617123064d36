// _set_se_translator: hardware faults inside code built with -fnon-call-exceptions become
// C++ exceptions thrown by the faulting thread's translator, with Windows' codes.
#include <gtest/gtest.h>

#include <thread>

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

// Installs a translator for one scope and puts the previous one back.
class ScopedTranslator {
 public:
  explicit ScopedTranslator(_se_translator_function translator)
      : previous_(_set_se_translator(translator)) {}
  ~ScopedTranslator() { _set_se_translator(previous_); }

 private:
  _se_translator_function previous_;
};

using testing_support::Divide;
using testing_support::ReadFrom;
using testing_support::WriteTo;

Fault CatchFault(void (*body)()) {
  try {
    body();
  } catch (const Fault& fault) {
    return fault;
  }
  return Fault{0, 0, 0};
}

TEST(SeTranslator, IntegerDivisionByZeroBecomesAnException) {
  ScopedTranslator translator(ThrowFault);
  const Fault fault = CatchFault([] { Divide(1, 0); });
  EXPECT_EQ(fault.code, 0xC0000094u);
}

TEST(SeTranslator, AccessViolationCarriesTheAccessKindAndAddress) {
  ScopedTranslator translator(ThrowFault);
  const Fault write = CatchFault([] { WriteTo(0x10); });
  EXPECT_EQ(write.code, 0xC0000005u);
  EXPECT_EQ(write.access_kind, 1u);
  EXPECT_EQ(write.address, 0x10u);
  const Fault read = CatchFault([] { ReadFrom(0x10); });
  EXPECT_EQ(read.access_kind, 0u);
  EXPECT_EQ(read.address, 0x10u);
}

TEST(SeTranslator, TranslatorIsPerThreadAndWorksOnOtherThreads) {
  const _se_translator_function before = _set_se_translator(ThrowFault);
  Fault on_worker{0, 0, 0};
  _se_translator_function seen_on_worker = reinterpret_cast<_se_translator_function>(1);
  std::thread([&] {
    // A new thread starts without a translator.
    seen_on_worker = _set_se_translator(ThrowFault);
    on_worker = CatchFault([] { Divide(7, 0); });
    _set_se_translator(nullptr);
  }).join();
  EXPECT_EQ(seen_on_worker, nullptr);
  EXPECT_EQ(on_worker.code, 0xC0000094u);
  // Setting answers the translator it replaces.
  EXPECT_EQ(_set_se_translator(before), ThrowFault);
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
