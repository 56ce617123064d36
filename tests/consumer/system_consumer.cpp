// Threads, waits, the named mutex, time formats, files and fault translation seen from
// a program that knows only <winport/windows.h>. The second process is a fork of this
// one. Exits non-zero, naming the step, when one fails.
#include <winport/windows.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

int g_failures = 0;

void Expect(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "system consumer: %s\n", what);
    ++g_failures;
  }
}

unsigned __stdcall Worker(void* event) {
  SetEvent(static_cast<HANDLE>(event));
  return 7;
}

void ThreadAndEvent() {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  unsigned id = 0;
  auto thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Worker, event, 0, &id));
  Expect(event != nullptr && thread != nullptr, "_beginthreadex and CreateEventW");
  HANDLE both[] = {thread, event};
  const DWORD first = WaitForMultipleObjects(2, both, FALSE, 10000);
  Expect(first == WAIT_OBJECT_0 || first == WAIT_OBJECT_0 + 1, "WaitForMultipleObjects");
  Expect(WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0, "wait for the thread");
  DWORD code = 0;
  Expect(GetExitCodeThread(thread, &code) && code == 7, "GetExitCodeThread");
  CloseHandle(thread);
  CloseHandle(event);
}

void NamedMutexAgainstASecondProcess() {
  HANDLE mutex = CreateMutexW(nullptr, TRUE, OLESTR("QuillmereConsumerMTX"));
  Expect(mutex != nullptr, "CreateMutexW");
  const pid_t child = fork();
  if (child == 0) {
    // Held by the parent: the child's wait must time out.
    HANDLE mine = OpenMutexW(SYNCHRONIZE, FALSE, OLESTR("QuillmereConsumerMTX"));
    _exit(mine != nullptr && WaitForSingleObject(mine, 200) == WAIT_TIMEOUT ? 0 : 1);
  }
  int status = 1;
  waitpid(child, &status, 0);
  Expect(WIFEXITED(status) && WEXITSTATUS(status) == 0, "named mutex held against a process");
  Expect(ReleaseMutex(mutex) == TRUE, "ReleaseMutex");
  CloseHandle(mutex);
}

void TimeFormats() {
  SYSTEMTIME time{};
  time.wYear = 2026;
  time.wMonth = 12;
  time.wDay = 6;
  time.wHour = 4;
  time.wMinute = 5;
  time.wSecond = 9;
  OLECHAR text[32];
  Expect(GetDateFormatW(LOCALE_USER_DEFAULT, 0, &time, OLESTR("yyyy'-'MM'-'dd"), text, 32) == 11 &&
             winport::WideToUtf8(text) == "2026-12-06",
         "GetDateFormatW");
  Expect(GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &time, OLESTR("HH':'mm':'ss"), text, 32) == 9 &&
             winport::WideToUtf8(text) == "04:05:09",
         "GetTimeFormatW");
}

void FileUnderTheSystemDirectory() {
  OLECHAR directory[MAX_PATH];
  const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
  Expect(length > 0, "GetSystemDirectoryW");
  const winport::WideString path =
      winport::WideString(directory, length) + OLESTR("\\consumer.log");
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  Expect(file != INVALID_HANDLE_VALUE, "CreateFileW");
  DWORD written = 0;
  Expect(WriteFile(file, "line\r\n", 6, &written, nullptr) && written == 6, "WriteFile");
  CloseHandle(file);
  Expect(GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES, "the file is there");
}

struct Fault {
  unsigned code;
};
void ThrowFault(unsigned code, EXCEPTION_POINTERS*) {
  throw Fault{code};
}

// The fault must reach the processor, not a sanitizer's check in front of it.
__attribute__((noinline, no_sanitize("address", "undefined"))) int Divide(int numerator,
                                                                          int denominator) {
  // Volatile on both sides: the division must be done even when the result is unused.
  volatile int divisor = denominator;
  volatile int quotient = numerator / divisor;
  return quotient;
}

void DivisionByZero() {
  const _se_translator_function previous = _set_se_translator(ThrowFault);
  unsigned code = 0;
  try {
    Divide(1, 0);
  } catch (const Fault& fault) {
    code = fault.code;
  }
  _set_se_translator(previous);
  Expect(code == 0xC0000094u, "division by zero caught as a C++ exception");
}

}  // namespace

int main() {
  char prefix[] = "/tmp/quillmere-consumer-XXXXXX";
  if (mkdtemp(prefix) == nullptr) return 2;
  setenv("QUILLMERE_PREFIX", prefix, 1);
  ThreadAndEvent();
  NamedMutexAgainstASecondProcess();
  TimeFormats();
  FileUnderTheSystemDirectory();
  DivisionByZero();
  std::filesystem::remove_all(prefix);
  if (g_failures == 0) std::puts("system consumer: every step answered as Windows does");
  return g_failures == 0 ? 0 : 1;
}
