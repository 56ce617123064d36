#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <winport/windows.h>

#include "platform_skips.h"
#include "wide_matchers.h"

namespace {

constexpr DWORD kFromSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
constexpr DWORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr DWORD kWaitTimeout = 258;
constexpr DWORD kErrorResourceLangNotFound = 1815;
constexpr const char* kWineTexts =
    "its system message texts are its own (\"Call failed.\" for E_FAIL)";

// The text the system gives for a code, "" when it gives none.
std::string SystemText(DWORD code, DWORD language = 0) {
  WCHAR buffer[512];
  const DWORD length = FormatMessageW(kFromSystem, nullptr, code, language, buffer, 512, nullptr);
  if (length == 0) return {};
  EXPECT_EQ(buffer[length], u'\0');
  return testing_support::Narrow(winport::WideView(buffer, length));
}

struct MessageCase {
  DWORD code;
  const char* text;  // as Windows prints it, without the trailing CR LF
};

class SystemMessageText : public testing::TestWithParam<MessageCase> {};

TEST_P(SystemMessageText, IsWindowsTextWithTrailingCrLf) {
  SKIP_ON_WINE(kWineTexts);
  const MessageCase& c = GetParam();
  EXPECT_EQ(SystemText(c.code), std::string(c.text) + "\r\n") << std::hex << c.code;
}

INSTANTIATE_TEST_SUITE_P(
    SystemMessage, SystemMessageText,
    testing::Values(
        MessageCase{ERROR_SUCCESS, "The operation completed successfully."},
        MessageCase{ERROR_ACCESS_DENIED, "Access is denied."},
        MessageCase{ERROR_INSUFFICIENT_BUFFER,
                    "The data area passed to a system call is too small."},
        MessageCase{kWaitTimeout, "The wait operation timed out."},
        MessageCase{ERROR_NOT_OWNER, "Attempt to release mutex not owned by caller."},
        MessageCase{ERROR_NO_UNICODE_TRANSLATION,
                    "No mapping for the Unicode character exists in the target multi-byte code "
                    "page."},
        MessageCase{ERROR_TIMEOUT, "This operation returned because the timeout period expired."},
        // COM's own texts have no final period, the Automation ones do.
        MessageCase{static_cast<DWORD>(E_FAIL), "Unspecified error"},
        MessageCase{static_cast<DWORD>(E_POINTER), "Invalid pointer"},
        MessageCase{static_cast<DWORD>(E_UNEXPECTED), "Catastrophic failure"},
        MessageCase{static_cast<DWORD>(REGDB_E_CLASSNOTREG), "Class not registered"},
        MessageCase{static_cast<DWORD>(CO_E_NOTINITIALIZED), "CoInitialize has not been called."},
        MessageCase{static_cast<DWORD>(RPC_E_CHANGED_MODE),
                    "Cannot change thread mode after it is set."},
        MessageCase{static_cast<DWORD>(DISP_E_TYPEMISMATCH), "Type mismatch."},
        MessageCase{static_cast<DWORD>(DISP_E_OVERFLOW), "Out of present range."},
        MessageCase{static_cast<DWORD>(DISP_E_BADINDEX), "Invalid index."},
        MessageCase{static_cast<DWORD>(TYPE_E_LIBNOTREGISTERED), "Library not registered."},
        // The COM names for wrapped Win32 errors answer the Win32 texts, not the
        // descriptions winerror.h gives them ("Ran out of memory", "One or more arguments
        // are invalid", "General access denied error").
        MessageCase{static_cast<DWORD>(E_OUTOFMEMORY),
                    "Not enough memory resources are available to complete this operation."},
        MessageCase{static_cast<DWORD>(E_INVALIDARG), "The parameter is incorrect."},
        MessageCase{static_cast<DWORD>(E_ACCESSDENIED), "Access is denied."},
        MessageCase{0x800704DCu,
                    "The operation being requested was not performed because the user has not "
                    "been authenticated."}),
    [](const testing::TestParamInfo<MessageCase>& info) {
      char name[16];
      std::snprintf(name, sizeof name, "x%08X", static_cast<unsigned>(info.param.code));
      return std::string(name);
    });

// Every Win32 error the module meets has a text, and HRESULT_FROM_WIN32 of it the same one.
TEST(SystemMessageCoverage, Win32ErrorsAndTheirHresultsAgree) {
  SKIP_ON_WINE(kWineTexts);
  const DWORD codes[] = {0,    1,    2,    3,    4,    5,    6,    8,    14,   32,   80,
                         87,   122,  123,  126,  127,  183,  234,  258,  259,  288,  1004,
                         1008, 1009, 1010, 1011, 1012, 1013, 1018, 1060, 1113, 1244, 1460};
  for (DWORD code : codes) {
    const std::string text = SystemText(code);
    EXPECT_GT(text.size(), 3u) << code;
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << code;
    EXPECT_EQ(SystemText(static_cast<DWORD>(HRESULT_FROM_WIN32(code))), text) << code;
  }
}

TEST(SystemMessageCoverage, ComCodesTheModuleMeetsAllHaveTexts) {
  SKIP_ON_WINE(kWineTexts);
  const HRESULT codes[] = {E_NOINTERFACE,
                           E_NOTIMPL,
                           E_ABORT,
                           CLASS_E_NOAGGREGATION,
                           CLASS_E_CLASSNOTAVAILABLE,
                           CO_E_CLASSSTRING,
                           DISP_E_BADVARTYPE,
                           DISP_E_ARRAYISLOCKED};
  for (HRESULT code : codes) {
    EXPECT_NE(SystemText(static_cast<DWORD>(code)), "") << std::hex << code;
  }
}

// Callers fall back to their own text for these, exactly as on Windows, where the system
// table has none of them.
TEST(SystemMessageCoverage, CodesWithoutSystemTextAreNotFound) {
  const DWORD codes[] = {0x80041002u /* WBEM_E_NOT_FOUND */,
                         0xC00E0005u /* MSMQ */,
                         0x80040200u,
                         0x80040205u,
                         0x8007FFFFu,
                         0xDEADu};
  for (DWORD code : codes) {
    WCHAR buffer[64] = {u'x'};
    SetLastError(0);
    EXPECT_EQ(FormatMessageW(kFromSystem, nullptr, code, 0, buffer, 64, nullptr), 0u)
        << std::hex << code;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND)) << std::hex << code;
  }
}

TEST(SystemMessageLanguage, NeutralAndEnglishAreServedOthersAreNot) {
  SKIP_ON_WINE(kWineTexts);
  EXPECT_EQ(SystemText(static_cast<DWORD>(E_FAIL), kEnglishUs), "Unspecified error\r\n");
  EXPECT_EQ(SystemText(static_cast<DWORD>(E_FAIL), 0), "Unspecified error\r\n");

  WCHAR buffer[64];
  SetLastError(0);
  EXPECT_EQ(FormatMessageW(kFromSystem, nullptr, static_cast<DWORD>(E_FAIL),
                           MAKELANGID(0x07 /* LANG_GERMAN */, 0x01), buffer, 64, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), kErrorResourceLangNotFound);
}

TEST(SystemMessageBuffer, LengthExcludesTheTerminatorWhichMustFit) {
  WCHAR roomy[256];
  const DWORD length =
      FormatMessageW(kFromSystem, nullptr, ERROR_ACCESS_DENIED, 0, roomy, 256, nullptr);
  ASSERT_GT(length, 2u);
  EXPECT_EQ(roomy[length], u'\0');

  WCHAR exact[256];
  EXPECT_EQ(
      FormatMessageW(kFromSystem, nullptr, ERROR_ACCESS_DENIED, 0, exact, length + 1, nullptr),
      length);
  EXPECT_EQ(winport::WideView(exact, length), winport::WideView(roomy, length));

  SetLastError(0);
  EXPECT_EQ(FormatMessageW(kFromSystem, nullptr, ERROR_ACCESS_DENIED, 0, exact, length, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(SystemMessageBuffer, InsertsFlagAndWidthZeroGiveTheSameText) {
  SKIP_ON_WINE(kWineTexts);
  WCHAR buffer[64];
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                                      static_cast<DWORD>(E_NOTIMPL), 0, buffer, 64, nullptr);
  EXPECT_EQ(testing_support::Narrow(winport::WideView(buffer, length)), "Not implemented\r\n");
}

TEST(SystemMessageAllocate, ReturnsALocalAllocBufferOfAtLeastNSize) {
  SKIP_ON_WINE(kWineTexts);
  LPWSTR text = nullptr;
  const DWORD length = FormatMessageW(kFromSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                                      static_cast<DWORD>(E_INVALIDARG), 0,
                                      reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(length, 29u);
  EXPECT_EQ(testing_support::Narrow(text), "The parameter is incorrect.\r\n");
  EXPECT_EQ(LocalFree(text), nullptr);

  // nSize is a minimum to allocate, not a limit.
  text = nullptr;
  ASSERT_EQ(FormatMessageW(kFromSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 5, 0,
                           reinterpret_cast<LPWSTR>(&text), 4, nullptr),
            19u);
  EXPECT_EQ(testing_support::Narrow(text), "Access is denied.\r\n");
  LocalFree(text);
}

TEST(SystemMessageAllocate, FailureLeavesNoBuffer) {
  LPWSTR text = reinterpret_cast<LPWSTR>(0x1);
  SetLastError(0);
  EXPECT_EQ(FormatMessageW(kFromSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 0x80041002u, 0,
                           reinterpret_cast<LPWSTR>(&text), 0, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  EXPECT_EQ(text, nullptr);
}

TEST(SystemMessageAllocate, LocalAllocFailureIsReported) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY);
  LPWSTR text = nullptr;
  SetLastError(0);
  EXPECT_EQ(FormatMessageW(kFromSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 5, 0,
                           reinterpret_cast<LPWSTR>(&text), 0, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(text, nullptr);
}

TEST(SystemMessageLocalHeap, ZeroInitAndFixedBlocks) {
  auto* zeroed = static_cast<unsigned char*>(LocalAlloc(LPTR, 64));
  ASSERT_NE(zeroed, nullptr);
  for (int i = 0; i < 64; ++i)
    EXPECT_EQ(zeroed[i], 0) << i;
  EXPECT_EQ(LocalFree(zeroed), nullptr);

  void* empty = LocalAlloc(LMEM_FIXED, 0);
  EXPECT_NE(empty, nullptr);
  EXPECT_EQ(LocalFree(empty), nullptr);
  EXPECT_EQ(LocalFree(nullptr), nullptr);
}

TEST(SystemMessageLocalHeap, InjectedFaultGivesNullAndTheError) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY, /*nth=*/2);
  void* first = LocalAlloc(LMEM_FIXED, 8);
  EXPECT_NE(first, nullptr);
  SetLastError(0);
  EXPECT_EQ(LocalAlloc(LMEM_FIXED, 8), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  LocalFree(first);
}

}  // namespace
