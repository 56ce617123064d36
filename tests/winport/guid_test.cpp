#include <gtest/gtest.h>

#include <winport/windows.h>

#include "wide_matchers.h"

namespace {

constexpr GUID kSample = {
    0x0123ABCD, 0x4567, 0x89EF, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};

TEST(Guid, WritesUpperCaseBracedFormWithTerminator) {
  OLECHAR text[39];
  EXPECT_EQ(StringFromGUID2(kSample, text, 39), 39);
  EXPECT_EQ(testing_support::Narrow(text), "{0123ABCD-4567-89EF-FEDC-BA9876543210}");
}

TEST(Guid, ParsesEitherCaseAndRejectsTextWithoutBraces) {
  CLSID parsed{};
  ASSERT_EQ(CLSIDFromString(OLESTR("{0123abcd-4567-89ef-fedc-ba9876543210}"), &parsed), S_OK);
  EXPECT_TRUE(IsEqualGUID(parsed, kSample));
  EXPECT_EQ(CLSIDFromString(OLESTR("0123ABCD-4567-89EF-FEDC-BA9876543210"), &parsed),
            CO_E_CLASSSTRING);
}

TEST(Guid, UuidOfBindsTheWellKnownInterfaceIds) {
  OLECHAR text[39];
  StringFromGUID2(__uuidof(IUnknown), text, 39);
  EXPECT_EQ(testing_support::Narrow(text), "{00000000-0000-0000-C000-000000000046}");
  StringFromGUID2(__uuidof(IErrorInfo), text, 39);
  EXPECT_EQ(testing_support::Narrow(text), "{1CF2B120-547D-101B-8E65-08002B2BD119}");
}

}  // namespace
