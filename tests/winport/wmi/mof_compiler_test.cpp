// The MOF compiler object as a program reaches it through COM: how it reports bad
// arguments, unreadable files and syntax errors, before anything is stored.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include <winport/fault_injection.h>
#include <winport/scoped_bstr.h>
#include <winport/windows.h>

#include "fresh_machine.h"
#include "mof_compiler_fixture.h"

namespace {

using mof_tests::kArgumentPhase;
using mof_tests::kParsePhase;
using winport::ComPtr;

// The description the compiler left as the thread's error info.
std::string ErrorText() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.GetAddressOf()) != S_OK) return "";
  winport::ScopedBstr description;
  info->GetDescription(description.Receive());
  return winport::WideToUtf8(winport::BstrView(description.Get()));
}

using MofCompilerTest = mof_tests::MofCompilerFixture;

TEST_F(MofCompilerTest, SyntaxErrorNamesItsLineAndColumn) {
  const HRESULT hr = Compile("class A\n{\n  [Key] string Name;\n  sint32 Level = 2 \n};\n");
  EXPECT_EQ(hr, WBEM_S_FALSE);
  ExpectStatus(kParsePhase, WBEMMOF_E_EXPECTED_SEMI, 0, 5, 5);
  const std::string text = ErrorText();
  EXPECT_NE(text.find("line 5, column 1"), std::string::npos) << text;
}

TEST_F(MofCompilerTest, CheckOnlyReadsWithoutStoring) {
  EXPECT_EQ(Compile("#pragma namespace(\"\\\\\\\\.\\\\root\\\\nowhere\")\n"
                    "class A { string B = \"x\"; };",
                    nullptr, WBEM_FLAG_CHECK_ONLY),
            S_OK);
  ExpectStatus(0, S_OK, 0, 0, 0);
}

// The buffer's encoding is recognised by its byte order mark.
TEST_F(MofCompilerTest, ReadsUtf16AndMarkedUtf8Text) {
  const std::u16string text = u"class A {\n  string B\n};";
  std::string little_endian = "\xFF\xFE";
  std::string big_endian = "\xFE\xFF";
  for (char16_t c : text) {
    little_endian += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    big_endian += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
  }
  for (const std::string& bytes :
       {little_endian, big_endian, "\xEF\xBB\xBF" + winport::WideToUtf8(text)}) {
    EXPECT_EQ(Compile(bytes), WBEM_S_FALSE);
    ExpectStatus(kParsePhase, WBEMMOF_E_EXPECTED_SEMI, 0, 3, 3);
  }
}

TEST_F(MofCompilerTest, BadArgumentsAreArgumentErrors) {
  BYTE text[] = "class";
  const HRESULT answers[] = {
      compiler_->CompileBuffer(4, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, &status_),
      compiler_->CompileBuffer(-1, text, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, &status_),
      compiler_->CompileFile(nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, &status_)};
  for (HRESULT hr : answers)
    EXPECT_EQ(hr, WBEM_S_FALSE);
  ExpectStatus(kArgumentPhase, WBEM_E_INVALID_PARAMETER, 0, 0, 0);
  EXPECT_EQ(compiler_->CreateBMOF(nullptr, nullptr, nullptr, 0, 0, 0, &status_), WBEM_S_FALSE);
  ExpectStatus(kArgumentPhase, WBEM_E_NOT_SUPPORTED, 0, 0, 0);
}

TEST_F(MofCompilerTest, CompilesFilesByTheirWindowsPath) {
  std::ofstream(testing_support::MachinePrefix() / "settings.mof")
      << "// settings\nclass A {\n  string B;\n  sint32 C = \"2\";\n};\n";
  OLECHAR path[] = u"C:\\Settings.mof";
  EXPECT_EQ(compiler_->CompileFile(path, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, &status_),
            WBEM_S_FALSE);
  ExpectStatus(kParsePhase, WBEMMOF_E_TYPE_MISMATCH, 0, 4, 4);

  OLECHAR missing[] = u"C:\\missing.mof";
  EXPECT_EQ(compiler_->CompileFile(missing, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, &status_),
            WBEM_S_FALSE);
  ExpectStatus(kArgumentPhase, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), 0, 0, 0);
}

TEST_F(MofCompilerTest, InjectedFailureIsAnsweredAsIs) {
  winport::fault::FailCall("IMofCompiler::CompileBuffer", WBEM_E_OUT_OF_MEMORY);
  EXPECT_EQ(static_cast<uint32_t>(Compile("class A {};", nullptr, WBEM_FLAG_CHECK_ONLY)),
            static_cast<uint32_t>(WBEM_E_OUT_OF_MEMORY));
  EXPECT_EQ(Compile("class A {};", nullptr, WBEM_FLAG_CHECK_ONLY), S_OK);
}

}  // namespace
