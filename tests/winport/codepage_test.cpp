#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include <winport/windows.h>

#include "platform_skips.h"
#include "wide_matchers.h"

namespace {

using winport::WideString;

// The conversion's whole answer: the count it returns, the last error when it fails, and
// the units it wrote when it succeeds. Measuring and converting must agree.
struct ToWideResult {
  int count;
  DWORD error;
  WideString text;
};

ToWideResult ToWide(UINT code_page, DWORD flags, const std::string& bytes) {
  const int length = static_cast<int>(bytes.size());
  SetLastError(0xDEADBEEF);
  const int needed = MultiByteToWideChar(code_page, flags, bytes.data(), length, nullptr, 0);
  if (needed == 0) return {0, GetLastError(), {}};
  WideString out(static_cast<std::size_t>(needed), u'\xCCCC');
  EXPECT_EQ(MultiByteToWideChar(code_page, flags, bytes.data(), length, out.data(), needed),
            needed);
  return {needed, 0, out};
}

// The bytes, or "" with the last error in *error when the conversion fails.
std::string ToBytes(UINT code_page, DWORD flags, const WideString& wide, DWORD* error = nullptr) {
  const int length = static_cast<int>(wide.size());
  SetLastError(0xDEADBEEF);
  const int needed =
      WideCharToMultiByte(code_page, flags, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (error != nullptr) *error = needed == 0 ? GetLastError() : 0;
  std::string out(static_cast<std::size_t>(needed), '\xCC');
  EXPECT_EQ(WideCharToMultiByte(code_page, flags, wide.data(), length, out.data(), needed, nullptr,
                                nullptr),
            needed);
  return out;
}

// The ANSI code page is Windows-1252: 0x80-0x9F hold typographic characters, the five
// bytes it leaves undefined keep their C1 code points, and 0xA0-0xFF are Latin-1.
TEST(CodePageAnsi, IsWindows1252BothWays) {
  const std::string bytes = "\x80\x81\x9F\xA0\xE9\xFF";
  const WideString wide = OLESTR("\u20AC\u0081\u0178\u00A0\u00E9\u00FF");
  for (UINT code_page : {UINT{CP_ACP}, UINT{CP_THREAD_ACP}}) {
    SCOPED_TRACE(code_page);
    EXPECT_EQ(ToWide(code_page, 0, bytes).text, wide);
    EXPECT_EQ(ToBytes(code_page, 0, wide), bytes);
  }
}

TEST(CodePageAnsi, UnmappableCharactersBecomeTheDefaultCharAndAreReported) {
  const struct {
    WideString input;
    const char* expected;
  } cases[] = {
      {OLESTR("a\u0416b"), "a?b"},
      {OLESTR("\U0001F600"), "??"},  // each unit of a pair on its own
      {OLESTR("\u20ACuro"), "\x80uro"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    const std::string expected = c.expected;
    BOOL used = -1;
    char out[16] = {};
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, c.input.data(), static_cast<int>(c.input.size()), out,
                                  sizeof out, nullptr, &used),
              static_cast<int>(expected.size()));
    EXPECT_EQ(std::string(out, expected.size()), expected);
    EXPECT_EQ(used, expected.find('?') != std::string::npos ? TRUE : FALSE);
  }
}

// Ill-formed input becomes U+FFFD; how many of them a sequence becomes is not documented
// (Wine and the Unicode recommendation differ), so runs of them are compared as one. With
// MB_ERR_INVALID_CHARS exactly these inputs are refused.
TEST(CodePageUtf8, DecodesAndReplacesIllFormedSequences) {
  const struct {
    std::string input;
    WideString expected;
    bool ill_formed;
  } cases[] = {
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", OLESTR("\u00E9\u20AC\U0001F600"), false},
      {std::string("a\0b", 3), WideString(OLESTR("a\0b"), 3), false},
      {"a\x80z", OLESTR("a\uFFFDz"), true},          // stray continuation
      {"\xC0\xAF", OLESTR("\uFFFD"), true},          // overlong
      {"\xED\xA0\x80", OLESTR("\uFFFD"), true},      // an encoded surrogate
      {"\xF4\x90\x80\x80", OLESTR("\uFFFD"), true},  // beyond U+10FFFF
      {"\xE2\x82z", OLESTR("\uFFFDz"), true},        // cut short by the next character
      {"ok\xF0\x9F\x98", OLESTR("ok\uFFFD"), true},  // cut short by the end
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing_support::Narrow(c.expected));
    WideString lenient = ToWide(CP_UTF8, 0, c.input).text;
    lenient.erase(std::unique(lenient.begin(), lenient.end(),
                              [](OLECHAR a, OLECHAR b) { return a == 0xFFFD && b == 0xFFFD; }),
                  lenient.end());
    EXPECT_EQ(lenient, c.expected);
    const ToWideResult strict = ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, c.input);
    EXPECT_EQ(strict.count == 0, c.ill_formed);
    if (c.ill_formed) {
      EXPECT_EQ(strict.error, static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    }
  }
}

TEST(CodePageUtf8, EncodesAndReplacesLoneSurrogates) {
  EXPECT_EQ(ToBytes(CP_UTF8, 0, OLESTR("a\u00E9\u20AC\U0001F600")),
            "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  const WideString lone = OLESTR("\xDE00z\xD83D");
  EXPECT_EQ(ToBytes(CP_UTF8, 0, lone), "\xEF\xBF\xBDz\xEF\xBF\xBD");
  DWORD error = 0;
  EXPECT_EQ(ToBytes(CP_UTF8, WC_ERR_INVALID_CHARS, lone, &error), "");
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

// Length -1 converts the terminator too, an explicit length adds none, and the buffer
// must hold every unit the conversion writes.
TEST(CodePageLengths, TerminatorAndBufferSize) {
  WCHAR wide[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab", -1, nullptr, 0), 3);
  ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab", -1, wide, 4), 3);
  EXPECT_EQ(wide[2], u'\0');
  EXPECT_EQ(wide[3], u'x');
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, "cd", 1, wide, 4), 1);
  EXPECT_EQ(wide[1], u'b');

  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 3), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  char bytes[3];
  SetLastError(0);  // a character of several bytes that does not fit whole
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, OLESTR("a\u20AC"), 2, bytes, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

}  // namespace
