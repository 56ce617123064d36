#include <gtest/gtest.h>

#include <winport/windows.h>

#include "fresh_machine.h"

namespace {

// No test inherits another's injected faults, clock or machine.
class ResetTestHooks : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo&) override {
    winport::fault::Reset();
    winport::test_clock::Reset();
    testing_support::EnterFreshMachine();
  }
  void OnTestEnd(const testing::TestInfo&) override {
    winport::fault::Reset();
    winport::test_clock::Reset();
    testing_support::LeaveFreshMachine();
  }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new ResetTestHooks);
  return RUN_ALL_TESTS();
}
