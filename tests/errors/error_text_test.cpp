// Texts for HRESULTs, the COM error exception and the error info made from a text.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include <winport/com_ptr.h>
#include <winport/scoped_bstr.h>
#include <winport/wide.h>
#include <winport/windows.h>

#include "errors/com_error.h"
#include "errors/error_info.h"
#include "errors/error_message.h"
#include "platform_skips.h"
#include "thread_error_info.h"

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

struct FallbackCase {
  DWORD code;
  const char* text;
};

void PrintTo(const FallbackCase& row, std::ostream* out) {
  *out << std::hex << row.code;
}

class ErrorMessageFallback : public testing::TestWithParam<FallbackCase> {};

TEST_P(ErrorMessageFallback, NamesCodesTheSystemHasNoTextFor) {
  const HRESULT hr = static_cast<HRESULT>(GetParam().code);
  // Private interface codes have no system text on any platform worth the name; a system
  // that has one for a code here answers with it instead, which is not under test.
  if (SystemHasText(hr)) GTEST_SKIP() << "this system has a text for the code";
  EXPECT_EQ(WideToUtf8(quillmere::ErrorMessage(hr)), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Codes, ErrorMessageFallback,
                         testing::Values(FallbackCase{0x80040200, "Unknown error 0x80040200"},
                                         FallbackCase{0x80040201, "IDispatch error #1"},
                                         FallbackCase{0x80040205, "IDispatch error #5"},
                                         FallbackCase{0x8004FE01, "IDispatch error #64513"},
                                         FallbackCase{0x8004FFFF, "IDispatch error #65023"},
                                         FallbackCase{0x80050000, "Unknown error 0x80050000"},
                                         FallbackCase{0xA0011234, "Unknown error 0xA0011234"},
                                         FallbackCase{0x00001A2B, "Unknown error 0x1A2B"}));

struct SystemTextCase {
  DWORD code;
  const char* text;
};

void PrintTo(const SystemTextCase& row, std::ostream* out) {
  *out << std::hex << row.code;
}

class ErrorMessageSystemText : public testing::TestWithParam<SystemTextCase> {};

TEST_P(ErrorMessageSystemText, IsTheSystemsTextWithoutItsLineEnd) {
  const std::string text =
      WideToUtf8(quillmere::ErrorMessage(static_cast<HRESULT>(GetParam().code)));
  EXPECT_FALSE(text.ends_with("\r\n")) << text;
  EXPECT_FALSE(text.ends_with("\n")) << text;
  if (text != GetParam().text) {
    SKIP_ON_WINE("its system message table has its own wording, \"Access denied.\" for 0x80070005");
  }
  EXPECT_EQ(text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ErrorMessageSystemText,
    testing::Values(
        SystemTextCase{0x8007000E,
                       "Not enough memory resources are available to complete this operation."},
        SystemTextCase{0x80070005, "Access is denied."},
        SystemTextCase{0x80070057, "The parameter is incorrect."}));

TEST(ComError, CarriesItsErrorInfosTextsAndTheCodesMessage) {
  winport::ComPtr<ICreateErrorInfo> create;
  ASSERT_EQ(CreateErrorInfo(create.GetAddressOf()), S_OK);
  create->SetDescription(const_cast<OLECHAR*>(OLESTR("Row locked")));
  create->SetSource(const_cast<OLECHAR*>(OLESTR("Quillmere.Repository")));
  winport::ComPtr<IErrorInfo> info;
  ASSERT_EQ(create.As(&info), S_OK);

  const quillmere::_com_error error(static_cast<HRESULT>(0x8004FE02), info);
  EXPECT_EQ(static_cast<DWORD>(error.Error()), 0x8004FE02u);
  EXPECT_EQ(error.ErrorInfo(), info.Get());
  EXPECT_EQ(WideToUtf8(error.Description()), "Row locked");
  EXPECT_EQ(WideToUtf8(error.Source()), "Quillmere.Repository");
  EXPECT_EQ(WideToUtf8(error.ErrorMessage()), "IDispatch error #64514");
  // The message is kept with the exception, not made again on each call.
  EXPECT_EQ(&error.ErrorMessage(), &error.ErrorMessage());
}

TEST(ComError, RaisingTakesTheThreadsErrorInfo) {
  const winport::ComPtr<IErrorInfo> made =
      quillmere::MakeErrorInfo(std::string_view("Lookup failed"));
  try {
    quillmere::RaiseComError(static_cast<HRESULT>(0x80070002));
    FAIL() << "RaiseComError returned";
  } catch (const quillmere::_com_error& error) {
    EXPECT_EQ(static_cast<DWORD>(error.Error()), 0x80070002u);
    EXPECT_EQ(error.ErrorInfo(), made.Get());
  }
  EXPECT_EQ(TakeThreadErrorDescription(), std::nullopt);
}

TEST(ComError, RaisingWithoutAnErrorInfoOnTheThreadCarriesNone) {
  try {
    quillmere::RaiseComError(E_POINTER);
    FAIL() << "RaiseComError returned";
  } catch (const quillmere::_com_error& error) {
    EXPECT_EQ(error.ErrorInfo(), nullptr);
    EXPECT_EQ(WideToUtf8(error.Description()), "");
    EXPECT_EQ(WideToUtf8(error.Source()), "");
  }
}

TEST(ComError, RaisingWithoutInfoLeavesTheThreadsErrorInfoAlone) {
  quillmere::MakeErrorInfo(std::string_view("Earlier failure"));
  try {
    quillmere::RaiseComErrorWithoutInfo(E_OUTOFMEMORY);
    FAIL() << "RaiseComErrorWithoutInfo returned";
  } catch (const quillmere::_com_error& error) {
    EXPECT_EQ(static_cast<DWORD>(error.Error()), 0x8007000Eu);
    EXPECT_EQ(error.ErrorInfo(), nullptr);
  }
  EXPECT_EQ(TakeThreadErrorDescription(), "Earlier failure");
}

class CheckHrSuccess : public testing::TestWithParam<HRESULT> {};

TEST_P(CheckHrSuccess, ReturnsTheCodeWithoutRaising) {
  EXPECT_EQ(quillmere::CheckHr(GetParam()), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Codes, CheckHrSuccess, testing::Values(S_OK, S_FALSE, 2, 3, 0x7FFFFFFF));

class CheckHrFailure : public testing::TestWithParam<DWORD> {};

TEST_P(CheckHrFailure, RaisesTheCode) {
  try {
    quillmere::CheckHr(static_cast<HRESULT>(GetParam()));
    FAIL() << "CheckHr returned";
  } catch (const quillmere::_com_error& error) {
    EXPECT_EQ(static_cast<DWORD>(error.Error()), GetParam());
  }
}

INSTANTIATE_TEST_SUITE_P(Codes, CheckHrFailure,
                         testing::Values(0x80004005u, 0x800704DCu, 0x80000000u, 0xFFFFFFFFu));

TEST(MakeErrorInfo, TakesOnlyTheViewsCharacters) {
  const winport::WideString text = OLESTR("first second");
  quillmere::MakeErrorInfo(winport::WideView(text).substr(0, 5));
  EXPECT_EQ(TakeThreadErrorDescription(), "first");
}

TEST(MakeErrorInfo, ReadsNarrowTextInTheAnsiCodePage) {
  // Windows-1252: 0x80 is the euro sign, 0xFC u-umlaut, 0xA0 a no-break space.
  quillmere::MakeErrorInfo(std::string_view("\x80 5 Z\xFCrich\xA0!"));
  EXPECT_EQ(TakeThreadErrorDescription(), "\u20AC 5 Z\u00FCrich\u00A0!");
}

TEST(MakeErrorInfo, KeepsAnEmptyText) {
  quillmere::MakeErrorInfo(std::string_view(""));
  EXPECT_EQ(TakeThreadErrorDescription(), "");
}

TEST(MakeErrorInfo, RaisesTheFailureWhenNoErrorInfoCanBeMade) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  quillmere::MakeErrorInfo(std::string_view("Earlier failure"));
  winport::fault::FailCall("CreateErrorInfo", static_cast<std::uint32_t>(E_OUTOFMEMORY));
  try {
    quillmere::MakeErrorInfo(std::string_view("Never made"));
    FAIL() << "MakeErrorInfo returned";
  } catch (const quillmere::_com_error& error) {
    EXPECT_EQ(static_cast<DWORD>(error.Error()), 0x8007000Eu);
  }
  EXPECT_EQ(TakeThreadErrorDescription(), "Earlier failure");
}

TEST(MakeErrorInfo, RaisesOutOfMemoryWhenTheTextCannotBeCopied) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("SysAllocStringLen", 8 /* ERROR_NOT_ENOUGH_MEMORY */);
  try {
    quillmere::MakeErrorInfo(winport::WideView(OLESTR("Never made")));
    FAIL() << "MakeErrorInfo returned";
  } catch (const quillmere::_com_error& error) {
    EXPECT_EQ(static_cast<DWORD>(error.Error()), 0x8007000Eu);
  }
}

}  // namespace
