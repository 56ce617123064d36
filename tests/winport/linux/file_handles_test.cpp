// Files share the handle table with tokens.
#include <gtest/gtest.h>

#include <winport/windows.h>

namespace {

TEST(FileMachineTest, FilesAndTokensCloseThroughOneTable) {
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  HANDLE file = CreateFileW(OLESTR("C:\\a.txt"), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_NE(file, token);

  EXPECT_TRUE(CloseHandle(token));
  EXPECT_TRUE(CloseHandle(file));
  // A closed file handle no longer reaches the file; nor does it hold its share mode.
  DWORD written = 0;
  EXPECT_FALSE(WriteFile(file, "x", 1, &written, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  HANDLE again = CreateFileW(OLESTR("C:\\a.txt"), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  CloseHandle(again);
}

}  // namespace
