#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <winport/windows.h>

#include "platform_skips.h"
#include "wide_matchers.h"

namespace {

constexpr DWORD kNoError = 0;
constexpr DWORD kJunkError = 0xDEAD;
constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Each test works in its own folder, C:\Windows\Temp\quillmere-<test>: on Linux that is
// inside the test's fresh prefix, under Wine inside its C: drive.
class FileTest : public testing::Test {
 protected:
  void SetUp() override {
    CreateDirectoryW(OLESTR("C:\\Windows\\Temp"), nullptr);
    folder_ = "C:\\Windows\\Temp\\quillmere-";
    folder_ += testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(CreateDirectoryW(Wide(folder_).c_str(), nullptr)) << GetLastError();
  }
  void TearDown() override {
    // Made last, removed first; whatever a name turned out to be.
    for (auto name = made_.rbegin(); name != made_.rend(); ++name) {
      if (!DeleteFileW(name->c_str())) RemoveDirectoryW(name->c_str());
    }
    RemoveDirectoryW(Wide(folder_).c_str());
  }

  static winport::WideString Wide(const std::string& text) { return winport::Utf8ToWide(text); }

  // The Windows path of `name` in the test's folder, removed after the test.
  winport::WideString Path(const std::string& name) {
    made_.push_back(Wide(folder_ + "\\" + name));
    return made_.back();
  }

  HANDLE Open(const winport::WideString& path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  }

  void WriteText(const winport::WideString& path, const std::string& text) {
    winport::ScopedHandle file(Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS));
    ASSERT_TRUE(file.IsValid()) << GetLastError();
    DWORD written = 0;
    ASSERT_TRUE(
        WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    ASSERT_EQ(written, text.size());
  }

 private:
  std::string folder_;
  std::vector<winport::WideString> made_;
};

LONGLONG SizeOf(HANDLE file) {
  LARGE_INTEGER size{};
  EXPECT_TRUE(GetFileSizeEx(file, &size));
  return size.QuadPart;
}

TEST_F(FileTest, DispositionsCreateOpenAndTruncate) {
  const struct {
    DWORD disposition;
    bool exists;
    DWORD error;    // the last error, on success too
    LONGLONG size;  // of the file afterwards, when opened
  } cases[] = {
      {CREATE_NEW, true, ERROR_FILE_EXISTS, -1},
      {CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, 0},
      {OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, -1},
      {OPEN_ALWAYS, false, kNoError, 0},
      {OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, 3},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "disposition " << c.disposition << " exists " << c.exists);
    const winport::WideString path = Path("file" + std::to_string(n++) + ".txt");
    if (c.exists) WriteText(path, "old");
    SetLastError(kJunkError);
    winport::ScopedHandle file(Open(path, kReadWrite, 0, c.disposition));
    const DWORD error = GetLastError();
    EXPECT_EQ(file.IsValid(), c.size >= 0);
    if (file.IsValid()) {
      // Only OPEN_ALWAYS and CREATE_ALWAYS promise the last error on success.
      if (c.disposition == OPEN_ALWAYS || c.disposition == CREATE_ALWAYS) {
        EXPECT_EQ(error, c.error);
      }
      EXPECT_EQ(SizeOf(file.Get()), c.size);
    } else {
      EXPECT_EQ(error, c.error);
      // A refused open leaves what was there.
      EXPECT_EQ(GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES, c.exists);
    }
  }
}

TEST_F(FileTest, ShareModesDecideASecondOpen) {
  const struct {
    DWORD first_access, first_share, second_access, second_share;
    bool shared;
  } cases[] = {
      // The second wants to write; the first does not let others.
      {GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, kShareAll, false},
      // The first writes; the second does not let others.
      {GENERIC_WRITE, kShareAll, GENERIC_READ, FILE_SHARE_READ, false},
      {kReadWrite, kShareAll, kReadWrite, kShareAll, true},
  };
  const winport::WideString path = Path("shared.txt");
  WriteText(path, "old");
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.first_access << "/" << c.first_share
                                    << " then " << c.second_access << "/" << c.second_share);
    winport::ScopedHandle first(Open(path, c.first_access, c.first_share, OPEN_EXISTING));
    ASSERT_TRUE(first.IsValid()) << GetLastError();
    SetLastError(kJunkError);
    winport::ScopedHandle second(Open(path, c.second_access, c.second_share, OPEN_EXISTING));
    EXPECT_EQ(second.IsValid(), c.shared);
    if (!c.shared) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
  }
}

TEST_F(FileTest, WritesSeeksAndReadsBack) {
  const winport::WideString path = Path("data.bin");
  winport::ScopedHandle file(Open(path, kReadWrite, 0, CREATE_NEW));
  ASSERT_TRUE(file.IsValid()) << GetLastError();
  DWORD count = 0;
  ASSERT_TRUE(WriteFile(file.Get(), "hello world", 11, &count, nullptr));
  EXPECT_EQ(count, 11u);
  EXPECT_TRUE(FlushFileBuffers(file.Get()));

  const struct {
    LONGLONG distance;
    DWORD method;
    LONGLONG position;
    const char* then_read;  // the next five bytes at most
  } moves[] = {
      {0, FILE_BEGIN, 0, "hello"},
      {1, FILE_CURRENT, 6, "world"},
      {-3, FILE_END, 8, "rld"},
      {20, FILE_BEGIN, 20, ""},  // past the end: reads nothing, successfully
  };
  for (const auto& move : moves) {
    LARGE_INTEGER distance{};
    distance.QuadPart = move.distance;
    LARGE_INTEGER position{};
    ASSERT_TRUE(SetFilePointerEx(file.Get(), distance, &position, move.method));
    EXPECT_EQ(position.QuadPart, move.position);
    char buffer[5];
    ASSERT_TRUE(ReadFile(file.Get(), buffer, 5, &count, nullptr));
    EXPECT_EQ(std::string(buffer, count), move.then_read) << move.distance;
  }

  // Writing past the end fills the gap with zeros.
  ASSERT_TRUE(WriteFile(file.Get(), "!", 1, &count, nullptr));
  EXPECT_EQ(SizeOf(file.Get()), 21);
  char all[32];
  ASSERT_TRUE(SetFilePointerEx(file.Get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN));
  ASSERT_TRUE(ReadFile(file.Get(), all, sizeof all, &count, nullptr));
  EXPECT_EQ(std::string(all, count), std::string("hello world\0\0\0\0\0\0\0\0\0!", 21));
}

TEST_F(FileTest, CreatesDirectoriesAndTellsThemFromFiles) {
  const winport::WideString directory = Path("sub");
  ASSERT_TRUE(CreateDirectoryW(directory.c_str(), nullptr)) << GetLastError();
  const winport::WideString file = Path("sub\\file.txt");
  WriteText(file, "x");
  EXPECT_EQ(GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_NE(GetFileAttributesW(directory.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  const struct {
    winport::WideString path;
    DWORD error;
  } refused[] = {
      {directory, ERROR_ALREADY_EXISTS},
      {Path("missing\\sub"), ERROR_PATH_NOT_FOUND},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(testing_support::Narrow(c.path));
    SetLastError(kJunkError);
    EXPECT_FALSE(CreateDirectoryW(c.path.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), c.error);
  }
}

TEST_F(FileTest, InjectedFaultsFailCreation) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  const winport::WideString path = Path("never.txt");
  winport::fault::FailCall("CreateFileW", ERROR_TOO_MANY_OPEN_FILES);
  winport::ScopedHandle file(Open(path, kReadWrite, 0, CREATE_ALWAYS));
  EXPECT_FALSE(file.IsValid());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TOO_MANY_OPEN_FILES));

  const winport::WideString directory = Path("never");
  winport::fault::FailCall("CreateDirectoryW", ERROR_ACCESS_DENIED);
  EXPECT_FALSE(CreateDirectoryW(directory.c_str(), nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  // Neither was made, and the next calls do their work.
  EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(directory.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(CreateDirectoryW(directory.c_str(), nullptr));
}

}  // namespace
