// A thread without a translator crashes on a fault as it always would, whatever other
// threads installed.
#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#include <winport/windows.h>

#include "hardware_faults.h"

namespace {

void Throw(unsigned, EXCEPTION_POINTERS*) {
  throw 1;
}

TEST(SeTranslatorDeathTest, ThreadWithoutTranslatorStillCrashes) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        std::thread([] { _set_se_translator(Throw); }).join();
        testing_support::WriteTo(0x10);
      },
      testing::KilledBySignal(SIGSEGV), "");
}

}  // namespace
