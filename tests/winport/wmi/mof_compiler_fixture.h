// The MOF compiler as a program creates it through COM, and the status it fills in.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include <winport/scoped_com_init.h>
#include <winport/windows.h>

namespace mof_tests {

// WBEM_COMPILE_STATUS_INFO::lPhaseError.
constexpr LONG kParsePhase = 1;
constexpr LONG kArgumentPhase = 2;
constexpr LONG kStorePhase = 3;

class MofCompilerFixture : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.Succeeded());
    ASSERT_EQ(CoCreateInstance(CLSID_MofCompiler, nullptr, CLSCTX_INPROC_SERVER, IID_IMofCompiler,
                               reinterpret_cast<void**>(compiler_.GetAddressOf())),
              S_OK);
  }

  HRESULT Compile(const std::string& bytes, const OLECHAR* name_space = nullptr, LONG options = 0,
                  LONG instance_flags = 0) {
    winport::WideString target = name_space ? name_space : OLESTR("");
    return compiler_->CompileBuffer(static_cast<LONG>(bytes.size()),
                                    reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())),
                                    name_space ? target.data() : nullptr, nullptr, nullptr, nullptr,
                                    options, 0, instance_flags, &status_);
  }

  void ExpectStatus(LONG phase, HRESULT code, LONG object, LONG first_line, LONG last_line) const {
    EXPECT_EQ(status_.lPhaseError, phase);
    EXPECT_EQ(static_cast<std::uint32_t>(status_.hRes), static_cast<std::uint32_t>(code));
    EXPECT_EQ(status_.ObjectNum, object);
    EXPECT_EQ(status_.FirstLine, first_line);
    EXPECT_EQ(status_.LastLine, last_line);
  }

  winport::ScopedComInit com_{COINIT_MULTITHREADED};
  winport::ComPtr<IMofCompiler> compiler_;
  WBEM_COMPILE_STATUS_INFO status_{-1, -1, -1, -1, -1, 0};
};

}  // namespace mof_tests
