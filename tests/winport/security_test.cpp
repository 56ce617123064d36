#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <winport/windows.h>

#include "platform_skips.h"

namespace {

// The size query, then the user's SID inside the caller's buffer, which copies whole.
TEST(SecurityToken, TokenUserFollowsTheSizeQueryProtocol) {
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) << GetLastError();
  winport::ScopedHandle owned(token);
  DWORD needed = 0;
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(GetTokenInformation(token, TokenUser, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_GT(needed, sizeof(TOKEN_USER));
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, buffer.data(), needed, &needed));

  const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  ASSERT_TRUE(IsValidSid(sid));
  const DWORD length = GetLengthSid(sid);
  EXPECT_GE(static_cast<const BYTE*>(sid), buffer.data() + sizeof(TOKEN_USER));
  EXPECT_LE(static_cast<const BYTE*>(sid) + length, buffer.data() + buffer.size());
  std::vector<BYTE> copy(length);
  ASSERT_TRUE(CopySid(length, copy.data(), sid));
  EXPECT_EQ(std::memcmp(copy.data(), sid, length), 0);
}

TEST(SecurityFaults, InjectedFailuresAreFalseWithTheInjectedError) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  HANDLE token = nullptr;
  winport::fault::FailCall("OpenProcessToken", ERROR_NO_TOKEN);
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  winport::ScopedHandle owned(token);
  winport::fault::FailCall("GetTokenInformation", ERROR_NO_TOKEN);
  BYTE buffer[256];
  DWORD returned = 0;
  EXPECT_FALSE(GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
}

}  // namespace
