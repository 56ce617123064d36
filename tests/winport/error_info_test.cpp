#include <gtest/gtest.h>

#include <thread>

#include <winport/windows.h>

#include "platform_skips.h"

#include "wide_matchers.h"

namespace {

using testing_support::NarrowBstr;

winport::ComPtr<IErrorInfo> MakeInfo(const OLECHAR* description) {
  winport::ComPtr<ICreateErrorInfo> create;
  EXPECT_EQ(CreateErrorInfo(create.GetAddressOf()), S_OK);
  create->SetDescription(const_cast<LPOLESTR>(description));
  winport::ComPtr<IErrorInfo> info;
  EXPECT_EQ(create.As(&info), S_OK);
  return info;
}

TEST(ErrorInfo, CarriesDescriptionSourceAndGuid) {
  winport::ComPtr<ICreateErrorInfo> create;
  ASSERT_EQ(CreateErrorInfo(create.GetAddressOf()), S_OK);
  create->SetDescription(const_cast<LPOLESTR>(OLESTR("it broke")));
  create->SetSource(const_cast<LPOLESTR>(OLESTR("Thing::Do")));
  create->SetGUID(__uuidof(IClassFactory));
  winport::ComPtr<IErrorInfo> info;
  ASSERT_EQ(create.As(&info), S_OK);
  winport::ScopedBstr text;
  ASSERT_EQ(info->GetDescription(text.Receive()), S_OK);
  EXPECT_EQ(NarrowBstr(text.Get()), "it broke");
  ASSERT_EQ(info->GetSource(text.Receive()), S_OK);
  EXPECT_EQ(NarrowBstr(text.Get()), "Thing::Do");
  GUID guid{};
  ASSERT_EQ(info->GetGUID(&guid), S_OK);
  EXPECT_EQ(guid, __uuidof(IClassFactory));
}

TEST(ErrorInfo, GetHandsTheObjectOverAndClearsTheSlot) {
  winport::ComPtr<IErrorInfo> info = MakeInfo(OLESTR("once"));
  ASSERT_EQ(SetErrorInfo(0, info.Get()), S_OK);
  winport::ComPtr<IErrorInfo> taken;
  EXPECT_EQ(GetErrorInfo(0, taken.GetAddressOf()), S_OK);
  EXPECT_EQ(taken.Get(), info.Get());
  winport::ComPtr<IErrorInfo> again;
  EXPECT_EQ(GetErrorInfo(0, again.GetAddressOf()), S_FALSE);
  EXPECT_EQ(again.Get(), nullptr);
}

TEST(ErrorInfo, SlotIsPerThread) {
  ASSERT_EQ(SetErrorInfo(0, MakeInfo(OLESTR("main")).Get()), S_OK);
  HRESULT other_thread_result = E_FAIL;
  std::thread([&] {
    winport::ComPtr<IErrorInfo> none;
    other_thread_result = GetErrorInfo(0, none.GetAddressOf());
  }).join();
  EXPECT_EQ(other_thread_result, S_FALSE);
  winport::ComPtr<IErrorInfo> mine;
  EXPECT_EQ(GetErrorInfo(0, mine.GetAddressOf()), S_OK);
}

TEST(ErrorInfo, SettingNullClears) {
  SetErrorInfo(0, MakeInfo(OLESTR("x")).Get());
  EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK);
  winport::ComPtr<IErrorInfo> none;
  EXPECT_EQ(GetErrorInfo(0, none.GetAddressOf()), S_FALSE);
}

TEST(ErrorInfo, CreationFailureIsInjectable) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("CreateErrorInfo", static_cast<std::uint32_t>(E_OUTOFMEMORY));
  ICreateErrorInfo* create = reinterpret_cast<ICreateErrorInfo*>(1);
  EXPECT_EQ(CreateErrorInfo(&create), E_OUTOFMEMORY);
  EXPECT_EQ(create, nullptr);
}

}  // namespace
