// The MOF compiler object as a program reaches it through COM: how it reports bad
// arguments, unreadable files and syntax errors, before anything is stored.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include <winport/fault_injection.h>
#include <winport/scoped_bstr.h>
#include <winport/scoped_com_init.h>
#include <winport/windows.h>

#include "fresh_machine.h"

namespace {

using winport::ComPtr;

class MofCompilerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.Succeeded());
    ASSERT_EQ(CoCreateInstance(CLSID_MofCompiler, nullptr, CLSCTX_INPROC_SERVER, IID_IMofCompiler,
                               reinterpret_cast<void**>(compiler_.GetAddressOf())),
              S_OK);
  }

  HRESULT CompileBytes(const std::string& bytes, LONG options = 0) {
    return compiler_->CompileBuffer(static_cast<LONG>(bytes.size()),
                                    reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())),
                                    nullptr, nullptr, nullptr, nullptr, options, 0, 0, &status_);
  }

  // The description the compiler left as the thread's error info.
  static std::string ErrorText() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.GetAddressOf()) != S_OK) return "";
    winport::ScopedBstr description;
    info->GetDescription(description.Receive());
    return winport::WideToUtf8(winport::BstrView(description.Get()));
  }

  void ExpectStatus(LONG phase, HRESULT code, LONG first_line, LONG last_line) const {
    EXPECT_EQ(status_.lPhaseError, phase);
    EXPECT_EQ(static_cast<uint32_t>(status_.hRes), static_cast<uint32_t>(code));
    EXPECT_EQ(status_.FirstLine, first_line);
    EXPECT_EQ(status_.LastLine, last_line);
  }

  winport::ScopedComInit com_{COINIT_MULTITHREADED};
  ComPtr<IMofCompiler> compiler_;
  WBEM_COMPILE_STATUS_INFO status_{-1, -1, -1, -1, -1, 0};
};

constexpr LONG kParsePhase = 1;
constexpr LONG kArgumentPhase = 2;

TEST_F(MofCompilerTest, SyntaxErrorNamesItsLineAndColumn) {
  const HRESULT hr = CompileBytes("class A\n{\n  [Key] string Name;\n  sint32 Level = 2 \n};\n");
  EXPECT_EQ(hr, WBEM_S_FALSE);
  ExpectStatus(kParsePhase, WBEMMOF_E_EXPECTED_SEMI, 5, 5);
  EXPECT_EQ(status_.ObjectNum, 0);
  const std::string text = ErrorText();
  EXPECT_NE(text.find("line 5, column 1"), std::string::npos) << text;
}

TEST_F(MofCompilerTest, CheckOnlyReadsWithoutStoring) {
  EXPECT_EQ(CompileBytes("#pragma namespace(\"\\\\\\\\.\\\\root\\\\nowhere\")\n"
                         "class A { string B = \"x\"; };",
                         WBEM_FLAG_CHECK_ONLY),
            S_OK);
  ExpectStatus(0, S_OK, 0, 0);
  EXPECT_EQ(status_.ObjectNum, 0);
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
    EXPECT_EQ(CompileBytes(bytes), WBEM_S_FALSE);
    ExpectStatus(kParsePhase, WBEMMOF_E_EXPECTED_SEMI, 3, 3);
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
  ExpectStatus(kArgumentPhase, WBEM_E_INVALID_PARAMETER, 0, 0);
  EXPECT_EQ(compiler_->CreateBMOF(nullptr, nullptr, nullptr, 0, 0, 0, &status_), WBEM_S_FALSE);
  ExpectStatus(kArgumentPhase, WBEM_E_NOT_SUPPORTED, 0, 0);
}

TEST_F(MofCompilerTest, CompilesFilesByTheirWindowsPath) {
  std::ofstream(testing_support::MachinePrefix() / "settings.mof")
      << "// settings\nclass A {\n  string B;\n  sint32 C = \"2\";\n};\n";
  OLECHAR path[] = u"C:\\Settings.mof";
  EXPECT_EQ(compiler_->CompileFile(path, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, &status_),
            WBEM_S_FALSE);
  ExpectStatus(kParsePhase, WBEMMOF_E_TYPE_MISMATCH, 4, 4);

  OLECHAR missing[] = u"C:\\missing.mof";
  EXPECT_EQ(compiler_->CompileFile(missing, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, &status_),
            WBEM_S_FALSE);
  ExpectStatus(kArgumentPhase, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), 0, 0);
}

TEST_F(MofCompilerTest, InjectedFailureIsAnsweredAsIs) {
  winport::fault::FailCall("IMofCompiler::CompileBuffer", WBEM_E_OUT_OF_MEMORY);
  EXPECT_EQ(static_cast<uint32_t>(CompileBytes("class A {};", WBEM_FLAG_CHECK_ONLY)),
            static_cast<uint32_t>(WBEM_E_OUT_OF_MEMORY));
  EXPECT_EQ(CompileBytes("class A {};", WBEM_FLAG_CHECK_ONLY), S_OK);
}

}  // namespace
