#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <string>
#include <vector>

#include <winport/windows.h>

#include "wide_matchers.h"

namespace {

using testing_support::Narrow;

TEST(SecurityLinux, UserSidIsTheUnixUser) {
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  DWORD needed = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, buffer.data(), needed, &needed));
  // Exactly the structure and the SID: 16 + 16 bytes, no slack.
  EXPECT_EQ(needed, sizeof(TOKEN_USER) + 16);
  LPWSTR text = nullptr;
  ASSERT_TRUE(
      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text));
  EXPECT_EQ(Narrow(text), "S-1-22-1-" + std::to_string(::geteuid()));
  LocalFree(text);
  CloseHandle(token);
}

TEST(SystemInfoLinux, ComputerNameIsTheHostsFirstLabelUpperCase) {
  char host[256] = {};
  ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
  std::string expected(host);
  expected = expected.substr(0, expected.find('.')).substr(0, MAX_COMPUTERNAME_LENGTH);
  for (char& c : expected)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

  WCHAR buffer[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  ASSERT_TRUE(GetComputerNameW(buffer, &size));
  EXPECT_EQ(Narrow(winport::WideView(buffer, size)), expected);
}

}  // namespace
