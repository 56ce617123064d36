#include "diagnostics/log_user_actions.h"

#include <cstdio>
#include <string>

#include "errors/failure_helpers.h"
#include "settings/ansi_text.h"

namespace quillmere {
namespace {

// GetSystemDirectoryW's buffer: MAX_PATH and a terminator.
constexpr UINT kSystemDirectoryLength = 261;
// What _strdate and _strtime write, terminator included.
constexpr std::size_t kClockTextLength = 9;

template <class... Args>
std::string Format(const char* format, Args... args) {
  const int length = std::snprintf(nullptr, 0, format, args...);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length), '\0');
  // Over the string's own terminator, with a terminator.
  std::snprintf(text.data(), text.size() + 1, format, args...);
  return text;
}

void Write(HANDLE file, const std::string& text) {
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string Ansi(const OLECHAR* text) {
  return text != nullptr ? WideToAnsi(text) : std::string();
}

// Held for the whole open-write-close of one line.
class MutexHold {
 public:
  explicit MutexHold(HANDLE mutex) : mutex_(mutex) { WaitForSingleObject(mutex_, INFINITE); }
  ~MutexHold() { ReleaseMutex(mutex_); }
  MutexHold(const MutexHold&) = delete;
  MutexHold& operator=(const MutexHold&) = delete;

 private:
  HANDLE mutex_;
};

}  // namespace

LogUserActions::LogUserActions() : mutex_(CreateMutexW(nullptr, FALSE, OLESTR("QuillmereLogMTX"))) {
  WCHAR systemDirectory[kSystemDirectoryLength] = {};
  if (GetSystemDirectoryW(systemDirectory, kSystemDirectoryLength) == 0) return;
  folder_ = winport::WideString(systemDirectory) + OLESTR("\\LogFiles\\Quillmere");
  CreateDirectoryW(folder_.c_str(), nullptr);
}

LogUserActions::~LogUserActions() = default;

winport::ScopedHandle LogUserActions::OpenDayFile() const {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  const winport::WideString path =
      folder_ + winport::FormatWide("\\sw%02d%02d%02d.log", now.wYear % 100, now.wMonth, now.wDay);
  winport::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.IsValid()) {
    LARGE_INTEGER none{};
    SetFilePointerEx(file.Get(), none, nullptr, FILE_END);
    return file;
  }
  file.Reset(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return file;
  char date[kClockTextLength] = {};
  _strdate(date);
  Write(file.Get(), "#Software:\tTessaline Quillmere\r\n");
  Write(file.Get(), "#Version:\t7.0\r\n");
  Write(file.Get(), Format("#Date:\t\t%s\r\n", date));
  Write(file.Get(), Format("\r\n%-10s%-20s%s\r\n\r\n", "[time]", "[user]", "[action]"));
  return file;
}

bool LogUserActions::LogUserAction(const OLECHAR* user, const OLECHAR* action) {
  if (!enabled_.load(std::memory_order_acquire) || !mutex_.IsValid()) return false;
  const MutexHold hold(mutex_.Get());
  if (folder_.empty()) return false;
  // A line that cannot be made is lost; the caller is not told. Only a day file that
  // cannot be opened is answered.
  bool opened = true;
  RunIgnoringFailure([&] {
    const winport::ScopedHandle file = OpenDayFile();
    opened = file.IsValid();
    if (!opened) return;
    char time[kClockTextLength] = {};
    _strtime(time);
    Write(file.Get(), Format("%-10s%-20s%s\r\n", time, Ansi(user).c_str(), Ansi(action).c_str()));
  });
  return opened;
}

}  // namespace quillmere
