#include <gtest/gtest.h>

#include <cstring>

#include <winport/windows.h>

#include "platform_skips.h"

#include "wide_matchers.h"

namespace {

using testing_support::NarrowBstr;

TEST(Bstr, LaysOutByteCountBeforeTextAndNulAfter) {
  winport::ScopedBstr text(OLESTR("abc"));
  ASSERT_NE(text.Get(), nullptr);
  DWORD prefix = 0;
  std::memcpy(&prefix, reinterpret_cast<const unsigned char*>(text.Get()) - 4, 4);
  EXPECT_EQ(prefix, 6u);
  EXPECT_EQ(text.Get()[3], 0);
  EXPECT_EQ(text.Length(), 3u);
  EXPECT_EQ(text.ByteLength(), 6u);
}

TEST(Bstr, NullReadsAsEmptyAndANullSourceGivesRoom) {
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  SysFreeString(nullptr);  // must be harmless
  winport::ScopedBstr text;
  text.Reset(SysAllocStringLen(nullptr, 4));
  ASSERT_NE(text.Get(), nullptr);
  EXPECT_EQ(text.Length(), 4u);
  EXPECT_EQ(text.Get()[4], 0);
}

TEST(ScopedBstr, ReceiveFreesPreviousAndMovesOwnership) {
  winport::ScopedBstr first(OLESTR("one"));
  BSTR* slot = first.Receive();
  EXPECT_EQ(*slot, nullptr);
  *slot = SysAllocString(OLESTR("two"));
  winport::ScopedBstr second(std::move(first));
  EXPECT_EQ(first.Get(), nullptr);
  EXPECT_EQ(NarrowBstr(second.Get()), "two");
  BSTR released = second.Release();
  EXPECT_EQ(second.Get(), nullptr);
  SysFreeString(released);
}

}  // namespace
