#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include <winport/windows.h>

#include "wide_matchers.h"

namespace {

using winport::WideString;

// Measures, then converts into exactly the room measured: both must agree.
WideString ToWide(UINT code_page, const std::string& bytes) {
  const int length = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(code_page, 0, bytes.data(), length, nullptr, 0);
  WideString out(static_cast<std::size_t>(needed), u'\xCCCC');
  EXPECT_EQ(MultiByteToWideChar(code_page, 0, bytes.data(), length, out.data(), needed), needed);
  return out;
}

std::string ToBytes(UINT code_page, const WideString& wide) {
  const int length = static_cast<int>(wide.size());
  const int needed =
      WideCharToMultiByte(code_page, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(needed), '\xCC');
  EXPECT_EQ(
      WideCharToMultiByte(code_page, 0, wide.data(), length, out.data(), needed, nullptr, nullptr),
      needed);
  return out;
}

// The thread's ANSI code page is Windows-1252: 0x80-0x9F hold typographic characters, the
// five bytes it leaves undefined keep their C1 code points, and 0xA0-0xFF are Latin-1.
TEST(CodePageAnsi, IsWindows1252) {
  EXPECT_EQ(ToWide(CP_THREAD_ACP, "\x80\x81\x9F\xA0\xE9\xFF"),
            OLESTR("\u20AC\u0081\u0178\u00A0\u00E9\u00FF"));
}

// Ill-formed input becomes U+FFFD; how many of them a sequence becomes is not documented
// (Wine and the Unicode recommendation differ), so runs of them are compared as one.
TEST(CodePageUtf8, DecodesAndReplacesIllFormedSequences) {
  const struct {
    std::string input;
    WideString expected;
  } cases[] = {
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", OLESTR("\u00E9\u20AC\U0001F600")},
      {"a\x80z", OLESTR("a\uFFFDz")},          // stray continuation
      {"\xC0\xAF", OLESTR("\uFFFD")},          // overlong
      {"\xED\xA0\x80", OLESTR("\uFFFD")},      // an encoded surrogate
      {"ok\xF0\x9F\x98", OLESTR("ok\uFFFD")},  // cut short by the end
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing_support::Narrow(c.expected));
    WideString lenient = ToWide(CP_UTF8, c.input);
    lenient.erase(std::unique(lenient.begin(), lenient.end(),
                              [](OLECHAR a, OLECHAR b) { return a == 0xFFFD && b == 0xFFFD; }),
                  lenient.end());
    EXPECT_EQ(lenient, c.expected);
  }
}

TEST(CodePageUtf8, EncodesAndReplacesLoneSurrogates) {
  EXPECT_EQ(ToBytes(CP_UTF8, OLESTR("a\u00E9\u20AC\U0001F600")),
            "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(ToBytes(CP_UTF8, OLESTR("\xDE00z\xD83D")), "\xEF\xBF\xBDz\xEF\xBF\xBD");
  // ASCII runs longer than eight units, ending at each kind of longer sequence.
  EXPECT_EQ(ToBytes(CP_UTF8, OLESTR("\x80"
                                    "abcdefghij\u00E9"
                                    "abcdefgh\U0001F600ab\xD83D")),
            "\xC2\x80"
            "abcdefghij\xC3\xA9"
            "abcdefgh\xF0\x9F\x98\x80"
            "ab\xEF\xBF\xBD");
}

// Length -1 converts the terminator too, an explicit length adds none, and the buffer
// must hold every unit the conversion writes.
TEST(CodePageLengths, TerminatorAndBufferSize) {
  WCHAR wide[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_EQ(MultiByteToWideChar(CP_THREAD_ACP, 0, "ab", -1, nullptr, 0), 3);
  ASSERT_EQ(MultiByteToWideChar(CP_THREAD_ACP, 0, "ab", -1, wide, 4), 3);
  EXPECT_EQ(wide[2], u'\0');
  EXPECT_EQ(wide[3], u'x');
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, "cd", 1, wide, 4), 1);
  EXPECT_EQ(wide[1], u'b');
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_THREAD_ACP, 0, "abc", -1, wide, 3), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  char bytes[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, OLESTR("abcdef"), 6, bytes, 3, nullptr, nullptr), 0);
  EXPECT_EQ(bytes[3], 'x');
}

}  // namespace
