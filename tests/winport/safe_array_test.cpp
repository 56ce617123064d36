#include <gtest/gtest.h>

#include <winport/windows.h>

#include "platform_skips.h"

#include "wide_matchers.h"

namespace {

using testing_support::NarrowBstr;

winport::ScopedSafeArray MakeBstrVector(std::initializer_list<const OLECHAR*> items,
                                        LONG lower = 0) {
  winport::ScopedSafeArray array(
      SafeArrayCreateVector(VT_BSTR, lower, static_cast<ULONG>(items.size())));
  LONG index = lower;
  for (const OLECHAR* item : items) {
    winport::ScopedBstr text(item);
    EXPECT_EQ(SafeArrayPutElement(array.Get(), &index, text.Get()), S_OK);
    ++index;
  }
  return array;
}

TEST(SafeArray, VectorKnowsItsTypeBoundsAndSize) {
  winport::ScopedSafeArray empty(SafeArrayCreateVector(VT_VARIANT, 0, 0));
  LONG empty_upper = 0;
  EXPECT_EQ(SafeArrayGetUBound(empty.Get(), 1, &empty_upper), S_OK);
  EXPECT_EQ(empty_upper, -1);  // below the lower bound

  winport::ScopedSafeArray array(SafeArrayCreateVector(VT_BSTR, 1, 3));
  ASSERT_NE(array.Get(), nullptr);
  LONG lower = 0, upper = 0;
  EXPECT_EQ(SafeArrayGetLBound(array.Get(), 1, &lower), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(array.Get(), 1, &upper), S_OK);
  EXPECT_EQ(lower, 1);
  EXPECT_EQ(upper, 3);
  // Dimensions count from 1, and indices outside the bounds are refused.
  EXPECT_EQ(SafeArrayGetLBound(array.Get(), 0, &lower), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetUBound(array.Get(), 2, &upper), DISP_E_BADINDEX);
  LONG index = 4;
  BSTR out = nullptr;
  EXPECT_EQ(SafeArrayGetElement(array.Get(), &index, &out), DISP_E_BADINDEX);
  index = 0;
  EXPECT_EQ(SafeArrayPutElement(array.Get(), &index, out), DISP_E_BADINDEX);
}

TEST(SafeArray, ElementsAreCopiedInAndOut) {
  winport::ScopedSafeArray array = MakeBstrVector({OLESTR("first"), OLESTR("second")}, 5);
  LONG index = 6;
  winport::ScopedBstr out;
  ASSERT_EQ(SafeArrayGetElement(array.Get(), &index, out.Receive()), S_OK);
  EXPECT_EQ(NarrowBstr(out.Get()), "second");
  // The element handed out is a copy: freeing it leaves the array's own intact.
  out.Reset();
  ASSERT_EQ(SafeArrayGetElement(array.Get(), &index, out.Receive()), S_OK);
  EXPECT_EQ(NarrowBstr(out.Get()), "second");
}

TEST(ScopedSafeArray, LockScopeReadsOneDimensionalArraysOfTheRightType) {
  winport::ScopedSafeArray array = MakeBstrVector({OLESTR("x"), OLESTR("y")});
  {
    auto scope = array.CreateLockScope<BSTR>(VT_BSTR);
    ASSERT_TRUE(scope.has_value());
    ASSERT_EQ(scope->size(), 2u);
    EXPECT_EQ(NarrowBstr((*scope)[1]), "y");
    EXPECT_EQ(SafeArrayDestroy(array.Get()), DISP_E_ARRAYISLOCKED);
  }
  EXPECT_FALSE(array.CreateLockScope<VARIANT>(VT_VARIANT).has_value());
  EXPECT_EQ(array.Get()->cLocks, 0u);
}

TEST(SafeArray, FailedCreateIsInjectable) {
  SKIP_UNLESS_FAULTS_REACH_PLATFORM();
  winport::fault::FailCall("SafeArrayCreate", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(SafeArrayCreateVector(VT_BSTR, 0, 1), nullptr);
  winport::ScopedSafeArray next(SafeArrayCreateVector(VT_BSTR, 0, 1));
  EXPECT_NE(next.Get(), nullptr);
}

}  // namespace
