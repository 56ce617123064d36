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
  create->SetSource(const_cast<LPOLESTR>(OLESTR("Thing::Do")));
  winport::ComPtr<IErrorInfo> info;
  EXPECT_EQ(create.As(&info), S_OK);
  return info;
}

// Get hands the object over with its texts and empties the slot; setting null empties it.
TEST(ErrorInfo, GetHandsTheObjectOverAndClearsTheSlot) {
  winport::ComPtr<IErrorInfo> info = MakeInfo(OLESTR("it broke"));
  ASSERT_EQ(SetErrorInfo(0, info.Get()), S_OK);
  winport::ComPtr<IErrorInfo> taken;
  EXPECT_EQ(GetErrorInfo(0, taken.GetAddressOf()), S_OK);
  ASSERT_EQ(taken.Get(), info.Get());
  winport::ScopedBstr text;
  ASSERT_EQ(taken->GetDescription(text.Receive()), S_OK);
  EXPECT_EQ(NarrowBstr(text.Get()), "it broke");
  ASSERT_EQ(taken->GetSource(text.Receive()), S_OK);
  EXPECT_EQ(NarrowBstr(text.Get()), "Thing::Do");
  winport::ComPtr<IErrorInfo> again;
  EXPECT_EQ(GetErrorInfo(0, again.GetAddressOf()), S_FALSE);
  EXPECT_EQ(again.Get(), nullptr);
  SetErrorInfo(0, info.Get());
  EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK);
  EXPECT_EQ(GetErrorInfo(0, again.GetAddressOf()), S_FALSE);
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

TEST(ErrorInfo, CreationFailureIsInjectable) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("CreateErrorInfo", static_cast<std::uint32_t>(E_OUTOFMEMORY));
  ICreateErrorInfo* create = reinterpret_cast<ICreateErrorInfo*>(1);
  EXPECT_EQ(CreateErrorInfo(&create), E_OUTOFMEMORY);
  EXPECT_EQ(create, nullptr);
}

}  // namespace
