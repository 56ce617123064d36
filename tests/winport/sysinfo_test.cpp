#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include <winport/windows.h>

#include "platform_skips.h"
#include "wide_matchers.h"

namespace {

using testing_support::Narrow;

// At most fifteen characters, upper-case; a buffer without room for the terminator
// overflows and is told the size of both.
TEST(SystemInfo, ComputerNameIsShortAndUpperCase) {
  WCHAR buffer[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  ASSERT_TRUE(GetComputerNameW(buffer, &size));
  const std::string name = Narrow(winport::WideView(buffer, size));
  EXPECT_EQ(buffer[size], u'\0');
  ASSERT_FALSE(name.empty());
  EXPECT_LE(name.size(), static_cast<std::size_t>(MAX_COMPUTERNAME_LENGTH));
  for (char c : name) {
    EXPECT_FALSE(std::islower(static_cast<unsigned char>(c))) << name;
  }
  size = static_cast<DWORD>(name.size());
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(GetComputerNameW(buffer, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
  EXPECT_EQ(size, name.size() + 1);
}

TEST(SystemInfo, SystemDirectoryIsADrivePathEndingInSystem32) {
  WCHAR buffer[MAX_PATH];
  const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
  ASSERT_GT(length, 3u);
  EXPECT_EQ(buffer[length], u'\0');
  std::string text = Narrow(winport::WideView(buffer, length));
  EXPECT_EQ(text.substr(1, 2), ":\\") << text;
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(text.substr(text.size() - 9), "\\system32") << text;
  // Room for every character but the terminator is too small: the size with it is asked.
  EXPECT_EQ(GetSystemDirectoryW(buffer, length), length + 1);
}

}  // namespace
