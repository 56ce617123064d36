// The host's shortcut for ASCII text must give what winport's full conversion gives, for
// every text, ASCII or not: each case is compared against winport itself.
#include "host/common/bstr_text.h"

#include <gtest/gtest.h>

#include <winport/scoped_bstr.h>

namespace quillmere::host {
namespace {

struct Text {
  const char* name;
  std::u16string wide;
};

class BstrText : public testing::TestWithParam<Text> {};

TEST_P(BstrText, ToUtf8GivesWinportsUtf8) {
  const std::u16string& wide = GetParam().wide;
  EXPECT_EQ(ToUtf8(winport::WideView(wide.data(), wide.size())),
            winport::WideToUtf8(winport::WideView(wide.data(), wide.size())));
}

TEST_P(BstrText, ToBstrGivesWinportsUtf16) {
  const std::u16string& wide = GetParam().wide;
  const std::string utf8 = winport::WideToUtf8(winport::WideView(wide.data(), wide.size()));
  winport::ScopedBstr text;
  text.Reset(ToBstr(utf8));
  ASSERT_NE(text.Get(), nullptr);
  EXPECT_EQ(winport::WideString(winport::BstrView(text.Get())), winport::Utf8ToWide(utf8));
  EXPECT_EQ(text.Get()[SysStringLen(text.Get())], u'\0');
}

INSTANTIATE_TEST_SUITE_P(
    Texts, BstrText,
    testing::Values(Text{"Empty", u""}, Text{"Ascii", u"<SESSION id=\"1\" user=\"admin\">"},
                    Text{"LastAscii", u"a\u007F"}, Text{"FirstLatin1", u"a\u0080b"},
                    Text{"LatinAtEnd", u"Jos\u00E9"}, Text{"Cjk", u"\u65E5\u672C"},
                    Text{"SurrogatePair", u"x\U0001F600y"}, Text{"LoneSurrogate", u"x\xD800y"},
                    // Sixteen at a time: whole blocks, a block and a tail, a late non-ASCII.
                    Text{"OneBlock", u"0123456789abcdef"},
                    Text{"ThreeBlocks", u"0123456789abcdef0123456789ABCDEF<QMS_PORTAL/>\t\n\r"},
                    Text{"LatinInSecondBlock", u"0123456789abcdef0123\u00E9456789"}),
    [](const testing::TestParamInfo<Text>& info) { return info.param.name; });

// Bytes of broken UTF-8 are not copied as they are: they take winport's replacement.
TEST(BstrTextBytes, InvalidUtf8BecomesWhatWinportMakesOfIt) {
  for (const char* utf8 : {"a\xFF", "\xC3", "\x80z"}) {
    winport::ScopedBstr text;
    text.Reset(ToBstr(utf8));
    ASSERT_NE(text.Get(), nullptr);
    EXPECT_EQ(winport::WideString(winport::BstrView(text.Get())), winport::Utf8ToWide(utf8));
  }
}

}  // namespace
}  // namespace quillmere::host
