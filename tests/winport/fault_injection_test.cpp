#include <gtest/gtest.h>

#include <winport/windows.h>

#include "platform_skips.h"

namespace {

bool Fails(std::string_view function) {
  std::uint32_t result = 0;
  return winport::fault::ShouldFail(function, &result);
}

TEST(FaultInjection, CountsCallsPerFunctionAndFailsTheChosenRange) {
  winport::fault::FailCall("Alpha", 0x1234, /*nth=*/2, /*times=*/2);
  EXPECT_FALSE(Fails("Beta"));  // other functions do not count
  EXPECT_FALSE(Fails("Alpha"));
  std::uint32_t result = 0;
  EXPECT_TRUE(winport::fault::ShouldFail("Alpha", &result));
  EXPECT_EQ(result, 0x1234u);
  EXPECT_TRUE(Fails("Alpha"));
  EXPECT_FALSE(Fails("Alpha"));  // the rule is spent
  winport::fault::FailCall("Alpha", 1);
  winport::fault::Reset();  // removes every rule
  EXPECT_FALSE(Fails("Alpha"));
}

TEST(FaultInjection, NullReturningFunctionsLeaveTheResultAsLastError) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  SetLastError(0);
  winport::fault::FailCall("SysAllocStringLen", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(SysAllocString(OLESTR("x")), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  winport::ScopedBstr next(OLESTR("x"));
  EXPECT_NE(next.Get(), nullptr);
}

}  // namespace
