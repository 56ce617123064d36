#include <gtest/gtest.h>

#include <string>

#include <winport/windows.h>

#include "platform_skips.h"
#include "wide_matchers.h"

namespace {

// As the module asks for a system text: in a buffer the call allocates.
constexpr DWORD kFromSystem =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
constexpr DWORD kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);

// The text the system gives for a code, "" with the last error in *error when it has none.
std::string SystemText(DWORD code, DWORD* error = nullptr) {
  LPWSTR text = reinterpret_cast<LPWSTR>(0x1);
  SetLastError(0);
  const DWORD length = FormatMessageW(kFromSystem, nullptr, code, kNeutral,
                                      reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  if (error != nullptr) *error = GetLastError();
  if (length == 0) {
    EXPECT_EQ(text, nullptr);
    return {};
  }
  const std::string narrow = testing_support::Narrow(winport::WideView(text, length));
  EXPECT_EQ(text[length], u'\0');
  EXPECT_EQ(LocalFree(text), nullptr);
  return narrow;
}

// Windows' texts end in CR LF. COM's own texts have no final period, the Automation ones
// do, and the COM names of wrapped Win32 errors answer the Win32 texts.
TEST(SystemMessage, IsWindowsTextWithTrailingCrLf) {
  SKIP_ON_WINE("its system message texts are its own (\"Call failed.\" for E_FAIL)");
  const struct {
    DWORD code;
    const char* text;
  } cases[] = {
      {ERROR_ACCESS_DENIED, "Access is denied."},
      {static_cast<DWORD>(E_FAIL), "Unspecified error"},
      {static_cast<DWORD>(DISP_E_TYPEMISMATCH), "Type mismatch."},
      {static_cast<DWORD>(E_OUTOFMEMORY),
       "Not enough memory resources are available to complete this operation."},
      {0x800704DCu,
       "The operation being requested was not performed because the user has not been "
       "authenticated."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SystemText(c.code), std::string(c.text) + "\r\n") << std::hex << c.code;
  }
}

// Callers fall back to their own text for these, exactly as on Windows, where the system
// table has none of them.
TEST(SystemMessage, CodesWithoutSystemTextAreNotFoundAndAllocateNothing) {
  for (DWORD code : {0x80041002u /* WBEM_E_NOT_FOUND */, 0xDEADu}) {
    DWORD error = 0;
    EXPECT_EQ(SystemText(code, &error), "") << std::hex << code;
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND)) << std::hex << code;
  }
}

TEST(SystemMessage, AllocationFailureIsReported) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY);
  DWORD error = 0;
  EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED, &error), "");
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

}  // namespace
