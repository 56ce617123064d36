#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include <winport/windows.h>

#include "platform_skips.h"
#include "wide_matchers.h"

namespace {

std::string SidText(PSID sid) {
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return "<error " + std::to_string(GetLastError()) + ">";
  const std::string narrow = testing_support::Narrow(text);
  EXPECT_EQ(LocalFree(text), nullptr);
  return narrow;
}

// A SID built by hand in a DWORD-aligned buffer.
std::vector<DWORD> MakeSid(std::initializer_list<BYTE> authority,
                           std::initializer_list<DWORD> sub_authorities, BYTE revision = 1) {
  std::vector<DWORD> storage(2 + sub_authorities.size());
  auto* sid = reinterpret_cast<SID*>(storage.data());
  sid->Revision = revision;
  sid->SubAuthorityCount = static_cast<BYTE>(sub_authorities.size());
  std::memcpy(sid->IdentifierAuthority.Value, std::data(authority), 6);
  std::copy(sub_authorities.begin(), sub_authorities.end(), storage.begin() + 2);
  return storage;
}

// The size query, a short buffer, then the user's SID inside the caller's buffer, which
// copies and reads as text.
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
  DWORD returned = 0;
  EXPECT_FALSE(GetTokenInformation(token, TokenUser, buffer.data(), needed - 1, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(returned, needed);
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, buffer.data(), needed, &returned));

  const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  ASSERT_TRUE(IsValidSid(sid));
  const DWORD length = GetLengthSid(sid);
  EXPECT_GE(static_cast<const BYTE*>(sid), buffer.data() + sizeof(TOKEN_USER));
  EXPECT_LE(static_cast<const BYTE*>(sid) + length, buffer.data() + needed);
  const std::string text = SidText(sid);
  EXPECT_EQ(text.rfind("S-1-", 0), 0u) << text;
  std::vector<BYTE> copy(length);
  EXPECT_FALSE(CopySid(length - 1, copy.data(), sid));
  ASSERT_TRUE(CopySid(length, copy.data(), sid));
  buffer.assign(buffer.size(), 0);  // the copy stands alone
  EXPECT_EQ(SidText(copy.data()), text);
}

TEST(SecuritySid, TextIsTheStandardNotationWithABigEndianAuthority) {
  const struct {
    const char* text;
    std::vector<DWORD> sid;
  } cases[] = {
      {"S-1-5-32-544", MakeSid({0, 0, 0, 0, 0, 5}, {32, 544})},
      {"S-1-16909060-4294967295", MakeSid({0, 0, 1, 2, 3, 4}, {4294967295u})},
      {"S-1-5", MakeSid({0, 0, 0, 0, 0, 5}, {})},
  };
  for (const auto& c : cases) {
    const PSID sid = const_cast<DWORD*>(c.sid.data());
    EXPECT_EQ(GetLengthSid(sid), 8 + 4 * static_cast<const SID*>(sid)->SubAuthorityCount);
    EXPECT_EQ(SidText(sid), c.text);
  }
}

TEST(SecuritySid, ValidityIsTheRevisionAndAtMostFifteenSubAuthorities) {
  std::vector<DWORD> sid = MakeSid({0, 0, 0, 0, 0, 5}, {18}, /*revision=*/2);
  EXPECT_FALSE(IsValidSid(sid.data()));
  std::vector<DWORD> copy(8);
  EXPECT_FALSE(CopySid(static_cast<DWORD>(copy.size() * sizeof(DWORD)), copy.data(), sid.data()));

  std::vector<DWORD> large(2 + 16, 1);
  auto* big = reinterpret_cast<SID*>(large.data());
  big->Revision = 1;
  big->SubAuthorityCount = 15;
  EXPECT_TRUE(IsValidSid(big));
  big->SubAuthorityCount = 16;
  EXPECT_FALSE(IsValidSid(big));
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
