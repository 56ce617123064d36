#include <gtest/gtest.h>

#include <winport/windows.h>

#include "platform_skips.h"
#include "wide_matchers.h"

namespace {

using winport::ScopedBstr;
using winport::WideView;

constexpr LCID kEnglishUs = 0x0409;

// The whole literal, embedded NULs included.
template <size_t N>
constexpr WideView Text(const OLECHAR (&literal)[N]) {
  return WideView(literal, N - 1);
}

ScopedBstr MakeBstr(WideView text) {
  ScopedBstr bstr;
  bstr.Reset(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
  return bstr;
}

struct CompareCase {
  WideView left;
  WideView right;
  LCID lcid;
  ULONG flags;
  HRESULT expected;
};

TEST(VarBstrCmp, OrdersStrings) {
  const CompareCase cases[] = {
      // Locale 0: code units as they stand, a prefix first.
      {Text(OLESTR("ab")), Text(OLESTR("abc")), 0, 0, VARCMP_LT},
      {Text(OLESTR("B")), Text(OLESTR("a")), 0, 0, VARCMP_LT},
      {Text(OLESTR("a\0b")), Text(OLESTR("a\0c")), 0, 0, VARCMP_LT},
      // A locale: letters first without case, then lowercase before uppercase.
      {Text(OLESTR("B")), Text(OLESTR("a")), kEnglishUs, 0, VARCMP_GT},
      {Text(OLESTR("aB")), Text(OLESTR("Ab")), kEnglishUs, 0, VARCMP_LT},
      {Text(OLESTR("A")), Text(OLESTR("ab")), kEnglishUs, 0, VARCMP_LT},
      // NORM_IGNORECASE: case never decides.
      {Text(OLESTR("\u00c4B")), Text(OLESTR("\u00e4b")), kEnglishUs, NORM_IGNORECASE, VARCMP_EQ},
  };
  for (const CompareCase& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << testing_support::Narrow(c.left) << "\" vs \""
                                    << testing_support::Narrow(c.right) << "\" lcid " << c.lcid
                                    << " flags " << c.flags);
    ScopedBstr left = MakeBstr(c.left);
    ScopedBstr right = MakeBstr(c.right);
    EXPECT_EQ(VarBstrCmp(left.Get(), right.Get(), c.lcid, c.flags), c.expected);
  }
}

TEST(VarBstrCmp, NullEqualsEmpty) {
  ScopedBstr empty(OLESTR(""));
  ScopedBstr text(OLESTR("a"));
  for (LCID lcid : {LCID{0}, kEnglishUs}) {
    SCOPED_TRACE(lcid);
    EXPECT_EQ(VarBstrCmp(nullptr, empty.Get(), lcid, 0), VARCMP_EQ);
    EXPECT_EQ(VarBstrCmp(nullptr, text.Get(), lcid, 0), VARCMP_LT);
    EXPECT_EQ(VarBstrCmp(text.Get(), nullptr, lcid, 0), VARCMP_GT);
  }
}

TEST(VarBstrCat, JoinsWithNullsAsEmpty) {
  struct Case {
    WideView left;
    WideView right;
    bool left_null;
    bool right_null;
    WideView expected;
  } cases[] = {
      {Text(OLESTR("")), Text(OLESTR("ab")), true, false, Text(OLESTR("ab"))},
      {Text(OLESTR("")), Text(OLESTR("")), true, true, Text(OLESTR(""))},
      {Text(OLESTR("a\0b")), Text(OLESTR("\0c")), false, false, Text(OLESTR("a\0b\0c"))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << testing_support::Narrow(c.expected));
    ScopedBstr left = c.left_null ? ScopedBstr() : MakeBstr(c.left);
    ScopedBstr right = c.right_null ? ScopedBstr() : MakeBstr(c.right);
    ScopedBstr result;
    ASSERT_EQ(VarBstrCat(left.Get(), right.Get(), result.Receive()), S_OK);
    // Even two nulls give a real, empty string.
    ASSERT_NE(result.Get(), nullptr);
    EXPECT_EQ(winport::BstrView(result.Get()), c.expected);
    EXPECT_EQ(result.Get()[result.Length()], u'\0');
  }
}

TEST(VarBstrCat, AllocationFailureLeavesTheResult) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  ScopedBstr left(OLESTR("a"));
  BSTR untouched = reinterpret_cast<BSTR>(0x1);
  winport::fault::FailCall("SysAllocStringLen", ERROR_OUTOFMEMORY);
  EXPECT_EQ(VarBstrCat(left.Get(), left.Get(), &untouched), E_OUTOFMEMORY);
  EXPECT_EQ(untouched, reinterpret_cast<BSTR>(0x1));
}

}  // namespace
