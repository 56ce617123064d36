#include <gtest/gtest.h>

#include <winport/windows.h>

namespace {

// No test inherits another's injected faults.
class ResetTestHooks : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo&) override { winport::fault::Reset(); }
  void OnTestEnd(const testing::TestInfo&) override { winport::fault::Reset(); }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new ResetTestHooks);
  return RUN_ALL_TESTS();
}
