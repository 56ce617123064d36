// Texts for HRESULTs, and the error info made from a text.
#include <gtest/gtest.h>

#include <string>

#include <winport/wide.h>
#include <winport/windows.h>

#include "errors/com_error.h"
#include "errors/error_info.h"
#include "errors/error_message.h"
#include "errors_testing.h"
#include "platform_skips.h"

namespace {

using errors_test::TakeThreadErrorDescription;
using winport::WideToUtf8;

bool SystemHasText(HRESULT hr) {
  LPWSTR buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  if (buffer != nullptr) LocalFree(buffer);
  return length != 0;
}

TEST(ErrorMessage, NamesCodesTheSystemHasNoTextFor) {
  const std::pair<DWORD, const char*> rows[] = {
      {0x80040200, "Unknown error 0x80040200"}, {0x80040201, "IDispatch error #1"},
      {0x8004FFFF, "IDispatch error #65023"},   {0x80050000, "Unknown error 0x80050000"},
      {0x00001A2B, "Unknown error 0x1A2B"},
  };
  for (const auto& [code, text] : rows) {
    const HRESULT hr = static_cast<HRESULT>(code);
    // Private interface codes have no system text on any platform worth the name; a
    // system that has one for a code here answers with it instead, which is not under test.
    if (SystemHasText(hr)) continue;
    EXPECT_EQ(WideToUtf8(quillmere::ErrorMessage(hr)), text);
  }
}

TEST(ErrorMessage, IsTheSystemsTextWithoutItsLineEnd) {
  const std::string text = WideToUtf8(quillmere::ErrorMessage(E_INVALIDARG));
  if (text != "The parameter is incorrect.") {
    SKIP_ON_WINE("its system message table has its own wording");
  }
  EXPECT_EQ(text, "The parameter is incorrect.");
}

TEST(MakeErrorInfo, TakesOnlyTheViewsCharacters) {
  const winport::WideString text = OLESTR("first second");
  quillmere::MakeErrorInfo(winport::WideView(text).substr(0, 5));
  EXPECT_EQ(TakeThreadErrorDescription(), "first");
}

TEST(MakeErrorInfo, RaisesTheFailureWhenNoErrorInfoCanBeMade) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  quillmere::MakeErrorInfo(std::string_view("Earlier failure"));
  // What the failing call answers: CreateErrorInfo an HRESULT, SysAllocStringLen (the text
  // cannot be copied) an error code.
  const std::pair<const char*, std::uint32_t> failures[] = {
      {"CreateErrorInfo", static_cast<std::uint32_t>(E_OUTOFMEMORY)},
      {"SysAllocStringLen", 8 /* ERROR_NOT_ENOUGH_MEMORY */},
  };
  for (const auto& [call, result] : failures) {
    winport::fault::FailCall(call, result);
    try {
      quillmere::MakeErrorInfo(winport::WideView(OLESTR("Never made")));
      FAIL() << call;
    } catch (const quillmere::_com_error& error) {
      EXPECT_EQ(error.Error(), E_OUTOFMEMORY) << call;
    }
    winport::fault::Reset();
  }
  EXPECT_EQ(TakeThreadErrorDescription(), "Earlier failure");
}

}  // namespace
