#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include <winport/windows.h>

#include "platform_skips.h"
#include "wide_matchers.h"

namespace {

using testing_support::Narrow;

std::string ComputerName() {
  WCHAR buffer[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(buffer, &size)) return {};
  EXPECT_EQ(buffer[size], u'\0');
  return Narrow(winport::WideView(buffer, size));
}

TEST(SystemInfoComputerName, IsAtMostFifteenUpperCaseCharacters) {
  const std::string name = ComputerName();
  ASSERT_FALSE(name.empty());
  EXPECT_LE(name.size(), static_cast<std::size_t>(MAX_COMPUTERNAME_LENGTH));
  for (char c : name) {
    EXPECT_FALSE(std::islower(static_cast<unsigned char>(c))) << name;
    EXPECT_NE(c, '.') << name;
  }
}

// Buffer sizes short of the name and its terminator, as offsets from the name's length.
class SystemInfoComputerNameShortBuffer : public testing::TestWithParam<int> {};

TEST_P(SystemInfoComputerNameShortBuffer, OverflowsAndAsksForNameAndTerminator) {
  const std::string name = ComputerName();
  ASSERT_FALSE(name.empty());
  const int wanted = static_cast<int>(name.size()) + GetParam();
  DWORD size = static_cast<DWORD>(wanted < 0 ? 0 : wanted);
  WCHAR buffer[MAX_COMPUTERNAME_LENGTH + 1];
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(GetComputerNameW(buffer, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
  EXPECT_EQ(size, name.size() + 1);
  // The size it asked for is enough.
  EXPECT_TRUE(GetComputerNameW(buffer, &size));
  EXPECT_EQ(size, name.size());
}

INSTANTIATE_TEST_SUITE_P(SystemInfoComputerName, SystemInfoComputerNameShortBuffer,
                         testing::Values(0, -1, -100), [](const testing::TestParamInfo<int>& info) {
                           return info.param == 0 ? std::string("NoRoomForTerminator")
                                                  : "Short" + std::to_string(-info.param);
                         });

TEST(SystemInfoSystemDirectory, IsADrivePathEndingInSystem32) {
  WCHAR buffer[MAX_PATH];
  const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
  ASSERT_GT(length, 3u);
  ASSERT_LT(length, static_cast<UINT>(MAX_PATH));
  EXPECT_EQ(buffer[length], u'\0');
  std::string text = Narrow(winport::WideView(buffer, length));
  EXPECT_EQ(text.substr(1, 2), ":\\") << text;
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(text.substr(text.size() - 9), "\\system32") << text;
}

TEST(SystemInfoSystemDirectory, ShortBufferAnswersTheSizeWithTerminator) {
  WCHAR buffer[MAX_PATH];
  const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(GetSystemDirectoryW(nullptr, 0), length + 1);
  // Room for every character but the terminator is still too small.
  EXPECT_EQ(GetSystemDirectoryW(buffer, length), length + 1);
  EXPECT_EQ(GetSystemDirectoryW(buffer, length + 1), length);
}

struct SystemInfoFaultCase {
  const char* function;
  bool (*succeeds)();
};

class SystemInfoFaults : public testing::TestWithParam<SystemInfoFaultCase> {};

TEST_P(SystemInfoFaults, InjectedFailureCarriesTheInjectedError) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall(GetParam().function, ERROR_ACCESS_DENIED);
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(GetParam().succeeds());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(GetParam().succeeds());
}

INSTANTIATE_TEST_SUITE_P(
    SystemInfoFaults, SystemInfoFaults,
    testing::Values(SystemInfoFaultCase{"GetSystemDirectoryW",
                                        [] {
                                          WCHAR buffer[MAX_PATH];
                                          return GetSystemDirectoryW(buffer, MAX_PATH) != 0;
                                        }},
                    SystemInfoFaultCase{"GetComputerNameW",
                                        [] {
                                          WCHAR buffer[MAX_COMPUTERNAME_LENGTH + 1];
                                          DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
                                          return GetComputerNameW(buffer, &size) != FALSE;
                                        }}),
    [](const testing::TestParamInfo<SystemInfoFaultCase>& info) { return info.param.function; });

}  // namespace
