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

using testing_support::Narrow;

// The process's token, opened for one test.
class ProcessToken {
 public:
  explicit ProcessToken(DWORD access = TOKEN_QUERY) {
    opened_ = OpenProcessToken(GetCurrentProcess(), access, &token_);
  }
  ~ProcessToken() {
    if (opened_) CloseHandle(token_);
  }
  ProcessToken(const ProcessToken&) = delete;
  ProcessToken& operator=(const ProcessToken&) = delete;
  bool opened() const { return opened_; }
  HANDLE get() const { return token_; }

 private:
  BOOL opened_ = FALSE;
  HANDLE token_ = nullptr;
};

// TOKEN_USER and its SID, in a buffer sized by the size query.
std::vector<BYTE> QueryTokenUser(HANDLE token) {
  DWORD needed = 0;
  EXPECT_FALSE(GetTokenInformation(token, TokenUser, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  std::vector<BYTE> buffer(needed);
  DWORD returned = 0;
  EXPECT_TRUE(GetTokenInformation(token, TokenUser, buffer.data(), needed, &returned));
  EXPECT_EQ(returned, needed);
  return buffer;
}

std::string SidText(PSID sid) {
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return "<error " + std::to_string(GetLastError()) + ">";
  const std::string narrow = Narrow(text);
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

TEST(SecurityToken, TokenUserFollowsTheSizeQueryProtocol) {
  ProcessToken token;
  ASSERT_TRUE(token.opened()) << GetLastError();
  DWORD needed = 0;
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(GetTokenInformation(token.get(), TokenUser, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_GT(needed, sizeof(TOKEN_USER));

  std::vector<BYTE> buffer(needed);
  DWORD returned = 0;
  EXPECT_FALSE(GetTokenInformation(token.get(), TokenUser, buffer.data(), needed - 1, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(returned, needed);

  ASSERT_TRUE(GetTokenInformation(token.get(), TokenUser, buffer.data(), needed, &returned));
  const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
  const auto* sid = static_cast<const BYTE*>(user->User.Sid);
  ASSERT_TRUE(IsValidSid(user->User.Sid));
  // The SID lives in the caller's buffer: it outlives the token.
  EXPECT_GE(sid, buffer.data() + sizeof(TOKEN_USER));
  EXPECT_LE(sid + GetLengthSid(user->User.Sid), buffer.data() + needed);
  EXPECT_EQ(user->User.Attributes, 0u);
}

TEST(SecurityToken, UserSidRoundTripsThroughCopyAndText) {
  ProcessToken token;
  ASSERT_TRUE(token.opened());
  std::vector<BYTE> user = QueryTokenUser(token.get());
  ASSERT_FALSE(user.empty());
  const PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  const std::string text = SidText(sid);
  EXPECT_EQ(text.rfind("S-1-", 0), 0u) << text;

  const DWORD length = GetLengthSid(sid);
  std::vector<BYTE> copy(length);
  EXPECT_FALSE(CopySid(length - 1, copy.data(), sid));
  ASSERT_TRUE(CopySid(length, copy.data(), sid));
  EXPECT_EQ(GetLengthSid(copy.data()), length);
  EXPECT_EQ(std::memcmp(copy.data(), sid, length), 0);
  user.assign(user.size(), 0);  // the copy stands alone
  EXPECT_EQ(SidText(copy.data()), text);
}

TEST(SecuritySid, CopyIntoAShortBufferIsInsufficientBuffer) {
  SKIP_ON_WINE("CopySid fails a short buffer without setting the last error");
  std::vector<DWORD> sid = MakeSid({0, 0, 0, 0, 0, 5}, {32, 544});
  std::vector<DWORD> copy(sid.size());
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(CopySid(GetLengthSid(sid.data()) - 1, copy.data(), sid.data()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(SecurityToken, QueryNeedsTokenQueryAccess) {
  ProcessToken token(TOKEN_DUPLICATE);
  ASSERT_TRUE(token.opened());
  DWORD needed = 0;
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(GetTokenInformation(token.get(), TokenUser, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(SecurityToken, ClosedTokenIsAnInvalidHandle) {
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  ASSERT_TRUE(CloseHandle(token));
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(CloseHandle(token));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  DWORD needed = 0;
  EXPECT_FALSE(GetTokenInformation(token, TokenUser, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// The pseudo handle is a constant that needs no closing; closing it does nothing.
TEST(SecurityToken, CurrentProcessIsThePseudoHandle) {
  EXPECT_EQ(GetCurrentProcess(), reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)));
  EXPECT_TRUE(CloseHandle(GetCurrentProcess()));
  ProcessToken token;
  EXPECT_TRUE(token.opened());
}

TEST(SecurityToken, OtherProcessHandleIsInvalid) {
  HANDLE token = nullptr;
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(OpenProcessToken(reinterpret_cast<HANDLE>(0x7ff0), TOKEN_QUERY, &token));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

struct SidTextCase {
  const char* text;
  std::vector<DWORD> sid;
  const char* wine_difference = nullptr;
};

class SecuritySidText : public testing::TestWithParam<SidTextCase> {};

TEST_P(SecuritySidText, IsTheStandardNotationAndLengthFollowsTheSubAuthorities) {
  const SidTextCase& c = GetParam();
  if (c.wine_difference != nullptr) SKIP_ON_WINE(c.wine_difference);
  const PSID sid = const_cast<DWORD*>(c.sid.data());
  ASSERT_TRUE(IsValidSid(sid));
  EXPECT_EQ(GetLengthSid(sid), 8 + 4 * static_cast<const SID*>(sid)->SubAuthorityCount);
  EXPECT_EQ(SidText(sid), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    SecuritySid, SecuritySidText,
    testing::Values(SidTextCase{"S-1-5-32-544", MakeSid({0, 0, 0, 0, 0, 5}, {32, 544})},
                    SidTextCase{"S-1-1-0", MakeSid({0, 0, 0, 0, 0, 1}, {0})},
                    SidTextCase{"S-1-22-1-1000", MakeSid({0, 0, 0, 0, 0, 22}, {1, 1000})},
                    SidTextCase{"S-1-5-4294967295", MakeSid({0, 0, 0, 0, 0, 5}, {4294967295u})},
                    // The authority is big-endian; below 2^32 it is decimal.
                    SidTextCase{"S-1-16909060-7", MakeSid({0, 0, 1, 2, 3, 4}, {7})},
                    // From 2^32 up it is twelve hex digits.
                    SidTextCase{"S-1-0x010000000000-7", MakeSid({1, 0, 0, 0, 0, 0}, {7}),
                                "it refuses authorities of 2^32 and up as invalid SIDs"},
                    SidTextCase{"S-1-5", MakeSid({0, 0, 0, 0, 0, 5}, {})}));

TEST(SecuritySid, ValidityIsTheRevisionAndAtMostFifteenSubAuthorities) {
  std::vector<DWORD> sid = MakeSid({0, 0, 0, 0, 0, 5}, {});
  auto* header = reinterpret_cast<SID*>(sid.data());
  EXPECT_TRUE(IsValidSid(header));
  header->Revision = 2;
  EXPECT_FALSE(IsValidSid(header));

  std::vector<DWORD> large(2 + 16, 1);
  auto* big = reinterpret_cast<SID*>(large.data());
  big->Revision = 1;
  big->SubAuthorityCount = 15;
  EXPECT_TRUE(IsValidSid(big));
  big->SubAuthorityCount = 16;
  EXPECT_FALSE(IsValidSid(big));
}

TEST(SecuritySid, CopyOfAnInvalidSidFails) {
  std::vector<DWORD> sid = MakeSid({0, 0, 0, 0, 0, 5}, {18}, /*revision=*/3);
  std::vector<DWORD> copy(8);
  EXPECT_FALSE(CopySid(static_cast<DWORD>(copy.size() * sizeof(DWORD)), copy.data(), sid.data()));
}

struct SecurityFaultCase {
  const char* function;
  BOOL (*call)(HANDLE token);
};

class SecurityFaults : public testing::TestWithParam<SecurityFaultCase> {};

TEST_P(SecurityFaults, InjectedFailureIsFalseWithTheInjectedError) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  ProcessToken token;
  ASSERT_TRUE(token.opened());
  winport::fault::FailCall(GetParam().function, ERROR_NO_TOKEN);
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(GetParam().call(token.get()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
}

INSTANTIATE_TEST_SUITE_P(
    SecurityFaults, SecurityFaults,
    testing::Values(SecurityFaultCase{"OpenProcessToken",
                                      [](HANDLE) {
                                        HANDLE token = nullptr;
                                        const BOOL opened = OpenProcessToken(GetCurrentProcess(),
                                                                             TOKEN_QUERY, &token);
                                        if (opened) CloseHandle(token);
                                        return opened;
                                      }},
                    SecurityFaultCase{"GetTokenInformation",
                                      [](HANDLE token) {
                                        BYTE buffer[256];
                                        DWORD returned = 0;
                                        return GetTokenInformation(token, TokenUser, buffer,
                                                                   sizeof buffer, &returned);
                                      }}),
    [](const testing::TestParamInfo<SecurityFaultCase>& info) { return info.param.function; });

}  // namespace
