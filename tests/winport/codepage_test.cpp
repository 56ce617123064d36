#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <winport/windows.h>

#include "platform_skips.h"
#include "wide_matchers.h"

namespace {

using winport::WideString;

// The conversion's whole answer: the count it returns, the last error when it fails, and
// the units it wrote when it succeeds.
struct ToWideResult {
  int count;
  DWORD error;
  WideString text;
};

ToWideResult ToWide(UINT code_page, DWORD flags, const std::string& bytes, int length) {
  SetLastError(0xDEADBEEF);
  const int needed = MultiByteToWideChar(code_page, flags, bytes.data(), length, nullptr, 0);
  if (needed == 0) return {0, GetLastError(), {}};
  WideString out(static_cast<std::size_t>(needed), u'\xCCCC');
  const int written =
      MultiByteToWideChar(code_page, flags, bytes.data(), length, out.data(), needed);
  EXPECT_EQ(written, needed) << "measuring and converting disagree";
  return {written, 0, out};
}

struct ToBytesResult {
  int count;
  DWORD error;
  std::string text;
};

ToBytesResult ToBytes(UINT code_page, DWORD flags, const WideString& wide, int length) {
  SetLastError(0xDEADBEEF);
  const int needed =
      WideCharToMultiByte(code_page, flags, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed == 0) return {0, GetLastError(), {}};
  std::string out(static_cast<std::size_t>(needed), '\xCC');
  const int written = WideCharToMultiByte(code_page, flags, wide.data(), length, out.data(), needed,
                                          nullptr, nullptr);
  EXPECT_EQ(written, needed) << "measuring and converting disagree";
  return {written, 0, out};
}

// --- Windows-1252 ------------------------------------------------------------------------

// Every byte 0x80-0x9F, as the cp1252 chart gives them; the five undefined bytes keep
// their C1 code points.
TEST(CodePageAnsi, HighControlRangeFollowsWindows1252) {
  const char16_t expected[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  std::string bytes;
  for (int b = 0x80; b <= 0x9F; ++b)
    bytes.push_back(static_cast<char>(b));
  for (UINT code_page : {UINT{CP_ACP}, UINT{CP_THREAD_ACP}}) {
    const ToWideResult wide = ToWide(code_page, 0, bytes, 32);
    ASSERT_EQ(wide.count, 32);
    for (int i = 0; i < 32; ++i) {
      EXPECT_EQ(static_cast<unsigned>(wide.text[i]), static_cast<unsigned>(expected[i]))
          << "byte 0x" << std::hex << (0x80 + i) << " code page " << code_page;
    }
    // And back: every byte of the range round-trips, the undefined ones included.
    const ToBytesResult back = ToBytes(code_page, 0, wide.text, 32);
    EXPECT_EQ(back.text, bytes);
  }
}

TEST(CodePageAnsi, Latin1HalfIsIdentity) {
  std::string bytes;
  for (int b = 0xA0; b <= 0xFF; ++b)
    bytes.push_back(static_cast<char>(b));
  const ToWideResult wide = ToWide(CP_ACP, 0, bytes, static_cast<int>(bytes.size()));
  ASSERT_EQ(wide.count, 96);
  for (int i = 0; i < 96; ++i)
    EXPECT_EQ(static_cast<int>(wide.text[i]), 0xA0 + i);
}

struct UnmappableCase {
  const char* name;
  WideString input;
  std::string expected;
};

class CodePageAnsiUnmappable : public testing::TestWithParam<UnmappableCase> {};

TEST_P(CodePageAnsiUnmappable, BecomesDefaultCharAndReportsIt) {
  const UnmappableCase& c = GetParam();
  const int length = static_cast<int>(c.input.size());
  BOOL used = -1;
  char out[16] = {};
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, c.input.data(), length, out, sizeof out, nullptr, &used),
            static_cast<int>(c.expected.size()));
  EXPECT_EQ(std::string(out, c.expected.size()), c.expected);
  EXPECT_EQ(used, TRUE);

  // A caller-chosen default character replaces '?'.
  const char star = '*';
  std::string starred = c.expected;
  for (char& ch : starred) {
    if (ch == '?') ch = '*';
  }
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, c.input.data(), length, out,
                                sizeof out, &star, &used),
            static_cast<int>(starred.size()));
  EXPECT_EQ(std::string(out, starred.size()), starred);
}

INSTANTIATE_TEST_SUITE_P(
    CodePage, CodePageAnsiUnmappable,
    testing::Values(UnmappableCase{"Cyrillic", OLESTR("a\u0416b"), "a?b"},
                    UnmappableCase{"CjkAtEnd", OLESTR("x\u4E2D"), "x?"},
                    // Each unit of a pair is replaced on its own.
                    UnmappableCase{"SurrogatePairIsTwoDefaults", OLESTR("\U0001F600"), "??"},
                    UnmappableCase{"LoneSurrogate", OLESTR("\xD800z"), "?z"}),
    [](const testing::TestParamInfo<UnmappableCase>& info) { return info.param.name; });

TEST(CodePageAnsi, UsedDefaultCharIsClearedWhenEverythingMaps) {
  const WideString text = OLESTR("\u20ACuro \u00E9t\u00E9");
  BOOL used = TRUE;
  char out[16];
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out,
                                sizeof out, nullptr, &used),
            8);
  EXPECT_EQ(std::string(out, 8), "\x80uro \xE9t\xE9");
  EXPECT_EQ(used, FALSE);
}

TEST(CodePageAnsi, UsedDefaultCharIsReportedWhileMeasuring) {
  BOOL used = FALSE;
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, OLESTR("\u0416"), 1, nullptr, 0, nullptr, &used), 1);
  EXPECT_EQ(used, TRUE);
}

// --- UTF-8 -------------------------------------------------------------------------------

struct Utf8DecodeCase {
  const char* name;
  std::string input;
  WideString expected;
  bool ill_formed;
};

class CodePageUtf8Decode : public testing::TestWithParam<Utf8DecodeCase> {};

// How many U+FFFD an ill-formed sequence becomes is not documented (Wine and the
// Unicode recommendation differ), so runs of them are compared as one.
WideString CollapseReplacements(const WideString& text) {
  WideString out;
  for (OLECHAR ch : text) {
    if (ch == 0xFFFD && !out.empty() && out.back() == 0xFFFD) continue;
    out.push_back(ch);
  }
  return out;
}

TEST_P(CodePageUtf8Decode, DecodesAndReplacesIllFormedSequences) {
  const Utf8DecodeCase& c = GetParam();
  const ToWideResult lenient = ToWide(CP_UTF8, 0, c.input, static_cast<int>(c.input.size()));
  EXPECT_EQ(c.ill_formed ? CollapseReplacements(lenient.text) : lenient.text, c.expected);

  // With MB_ERR_INVALID_CHARS exactly the inputs that needed U+FFFD are refused.
  const ToWideResult strict =
      ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, c.input, static_cast<int>(c.input.size()));
  if (c.ill_formed) {
    EXPECT_EQ(strict.count, 0);
    EXPECT_EQ(strict.error, static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  } else {
    EXPECT_EQ(strict.text, c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    CodePage, CodePageUtf8Decode,
    testing::Values(
        Utf8DecodeCase{"Ascii", "plain", OLESTR("plain"), false},
        Utf8DecodeCase{"TwoThreeFourBytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
                       OLESTR("\u00E9\u20AC\U0001F600"), false},
        Utf8DecodeCase{"LargestCodePoint", "\xF4\x8F\xBF\xBF", OLESTR("\U0010FFFF"), false},
        Utf8DecodeCase{"EncodedReplacementIsValid", "\xEF\xBF\xBD", OLESTR("\uFFFD"), false},
        Utf8DecodeCase{"EmbeddedNulIsConverted", std::string("a\0b", 3),
                       WideString(OLESTR("a\0b"), 3), false},
        Utf8DecodeCase{"StrayContinuation", "a\x80z", OLESTR("a\uFFFDz"), true},
        Utf8DecodeCase{"OverlongTwoByte", "\xC0\xAF", OLESTR("\uFFFD"), true},
        Utf8DecodeCase{"OverlongThreeByte", "\xE0\x80\xAF", OLESTR("\uFFFD"), true},
        Utf8DecodeCase{"EncodedSurrogate", "\xED\xA0\x80", OLESTR("\uFFFD"), true},
        Utf8DecodeCase{"BeyondUnicode", "\xF4\x90\x80\x80", OLESTR("\uFFFD"), true},
        Utf8DecodeCase{"InvalidLeadByte", "\xFF", OLESTR("\uFFFD"), true},
        // A truncated sequence is one replacement, and the byte that cut it short
        // starts afresh.
        Utf8DecodeCase{"TruncatedThenAscii", "\xE2\x82z", OLESTR("\uFFFDz"), true},
        Utf8DecodeCase{"TruncatedAtEnd", "ok\xF0\x9F\x98", OLESTR("ok\uFFFD"), true}),
    [](const testing::TestParamInfo<Utf8DecodeCase>& info) { return info.param.name; });

struct Utf8EncodeCase {
  const char* name;
  WideString input;
  std::string expected;
  bool ill_formed;
};

class CodePageUtf8Encode : public testing::TestWithParam<Utf8EncodeCase> {};

TEST_P(CodePageUtf8Encode, EncodesAndReplacesLoneSurrogates) {
  const Utf8EncodeCase& c = GetParam();
  const ToBytesResult lenient = ToBytes(CP_UTF8, 0, c.input, static_cast<int>(c.input.size()));
  EXPECT_EQ(lenient.text, c.expected);
  const ToBytesResult strict =
      ToBytes(CP_UTF8, WC_ERR_INVALID_CHARS, c.input, static_cast<int>(c.input.size()));
  if (c.ill_formed) {
    EXPECT_EQ(strict.count, 0);
    EXPECT_EQ(strict.error, static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  } else {
    EXPECT_EQ(strict.text, c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    CodePage, CodePageUtf8Encode,
    testing::Values(Utf8EncodeCase{"AllLengths", OLESTR("a\u00E9\u20AC\U0001F600"),
                                   "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", false},
                    Utf8EncodeCase{"LoneHigh", OLESTR("a\xD83Dz"), "a\xEF\xBF\xBDz", true},
                    Utf8EncodeCase{"LoneLow", OLESTR("\xDE00"), "\xEF\xBF\xBD", true},
                    Utf8EncodeCase{"HighAtEnd", OLESTR("x\xD83D"), "x\xEF\xBF\xBD", true},
                    Utf8EncodeCase{"ReversedPair", OLESTR("\xDE00\xD83D"),
                                   "\xEF\xBF\xBD\xEF\xBF\xBD", true}),
    [](const testing::TestParamInfo<Utf8EncodeCase>& info) { return info.param.name; });

// --- Lengths and buffers -----------------------------------------------------------------

TEST(CodePageLengths, MinusOneCountsAndConvertsTheTerminator) {
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9", -1, nullptr, 0), 3);
  WCHAR wide[4] = {u'x', u'x', u'x', u'x'};
  ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab", -1, wide, 4), 3);
  EXPECT_EQ(wide[2], u'\0');
  EXPECT_EQ(wide[3], u'x');

  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, OLESTR("\u00E9"), -1, nullptr, 0, nullptr, nullptr), 3);
  char bytes[4] = {'x', 'x', 'x', 'x'};
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, OLESTR("ab"), -1, bytes, 4, nullptr, nullptr), 3);
  EXPECT_EQ(bytes[2], '\0');
}

// A size of 0 measures even when a buffer is passed, and leaves the buffer alone.
TEST(CodePageLengths, ZeroSizeMeasuresWithABufferToo) {
  WCHAR wide[2] = {u'x', u'x'};
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xF0\x9F\x98\x80", 4, wide, 0), 2);
  EXPECT_EQ(wide[0], u'x');
  char bytes[2] = {'x', 'x'};
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, OLESTR("abc"), 3, bytes, 0, nullptr, nullptr), 3);
  EXPECT_EQ(bytes[0], 'x');
}

TEST(CodePageLengths, ExplicitLengthAddsNoTerminator) {
  WCHAR wide[4] = {u'x', u'x', u'x', u'x'};
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 2, wide, 4), 2);
  EXPECT_EQ(wide[2], u'x');
}

TEST(CodePageLengths, TooSmallBufferFailsWithInsufficientBuffer) {
  WCHAR wide[2];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, wide, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  // The terminator counts against the buffer too.
  char bytes[3];
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, OLESTR("abc"), -1, bytes, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  // A multi-byte character that does not fit whole.
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, OLESTR("a\u20AC"), 2, bytes, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

// --- Argument checks ---------------------------------------------------------------------

// The documentation asks these checks for CP_UTF8; Wine does not make them.
constexpr const char* kWineSkipsUtf8Checks =
    "it does not check CP_UTF8's flags, default character or used-default flag";

struct ToWideArgumentCase {
  const char* name;
  UINT code_page;
  DWORD flags;
  const char* input;
  int input_length;
  bool with_output;
  int output_size;
  DWORD error;
  const char* wine_difference = nullptr;
};

class CodePageToWideArguments : public testing::TestWithParam<ToWideArgumentCase> {};

TEST_P(CodePageToWideArguments, FailWithTheWindowsError) {
  const ToWideArgumentCase& c = GetParam();
  if (c.wine_difference != nullptr) SKIP_ON_WINE(c.wine_difference);
  WCHAR out[8];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(c.code_page, c.flags, c.input, c.input_length,
                                c.with_output ? out : nullptr, c.output_size),
            0);
  EXPECT_EQ(GetLastError(), c.error);
}

INSTANTIATE_TEST_SUITE_P(
    CodePage, CodePageToWideArguments,
    testing::Values(
        ToWideArgumentCase{"NullInput", CP_UTF8, 0, nullptr, 3, true, 8, ERROR_INVALID_PARAMETER},
        ToWideArgumentCase{"ZeroLength", CP_UTF8, 0, "abc", 0, true, 8, ERROR_INVALID_PARAMETER},
        ToWideArgumentCase{"NegativeOutputSize", CP_ACP, 0, "abc", 3, true, -1,
                           ERROR_INVALID_PARAMETER},
        ToWideArgumentCase{"NullOutputWithSize", CP_ACP, 0, "abc", 3, false, 8,
                           ERROR_INVALID_PARAMETER},
        ToWideArgumentCase{"UnknownCodePage", 99999, 0, "abc", 3, true, 8, ERROR_INVALID_PARAMETER},
        ToWideArgumentCase{"Utf8TakesNoPrecomposed", CP_UTF8, MB_PRECOMPOSED, "abc", 3, true, 8,
                           ERROR_INVALID_FLAGS, kWineSkipsUtf8Checks},
        ToWideArgumentCase{"UnknownFlag", CP_ACP, 0x100, "abc", 3, true, 8, ERROR_INVALID_FLAGS}),
    [](const testing::TestParamInfo<ToWideArgumentCase>& info) { return info.param.name; });

TEST(CodePageArguments, AnsiAcceptsPrecomposedAndStrictFlags) {
  WCHAR out[4];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED | MB_ERR_INVALID_CHARS, "\x81", 1, out, 4),
            1);
  EXPECT_EQ(out[0], u'\u0081');
}

struct ToBytesArgumentCase {
  const char* name;
  UINT code_page;
  DWORD flags;
  const WCHAR* input;
  int input_length;
  int output_size;
  bool with_default_char;
  bool with_used_flag;
  DWORD error;
  const char* wine_difference = nullptr;
};

class CodePageToBytesArguments : public testing::TestWithParam<ToBytesArgumentCase> {};

TEST_P(CodePageToBytesArguments, FailWithTheWindowsError) {
  const ToBytesArgumentCase& c = GetParam();
  if (c.wine_difference != nullptr) SKIP_ON_WINE(c.wine_difference);
  char out[8];
  const char default_char = '#';
  BOOL used = FALSE;
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(c.code_page, c.flags, c.input, c.input_length, out, c.output_size,
                                c.with_default_char ? &default_char : nullptr,
                                c.with_used_flag ? &used : nullptr),
            0);
  EXPECT_EQ(GetLastError(), c.error);
}

INSTANTIATE_TEST_SUITE_P(
    CodePage, CodePageToBytesArguments,
    testing::Values(ToBytesArgumentCase{"NullInput", CP_ACP, 0, nullptr, 3, 8, false, false,
                                        ERROR_INVALID_PARAMETER},
                    ToBytesArgumentCase{"ZeroLength", CP_ACP, 0, OLESTR("abc"), 0, 8, false, false,
                                        ERROR_INVALID_PARAMETER},
                    ToBytesArgumentCase{"NegativeOutputSize", CP_UTF8, 0, OLESTR("abc"), 3, -1,
                                        false, false, ERROR_INVALID_PARAMETER},
                    ToBytesArgumentCase{"UnknownCodePage", 99999, 0, OLESTR("abc"), 3, 8, false,
                                        false, ERROR_INVALID_PARAMETER},
                    ToBytesArgumentCase{"Utf8RefusesDefaultChar", CP_UTF8, 0, OLESTR("abc"), 3, 8,
                                        true, false, ERROR_INVALID_PARAMETER, kWineSkipsUtf8Checks},
                    ToBytesArgumentCase{"Utf8RefusesUsedDefaultFlag", CP_UTF8, 0, OLESTR("abc"), 3,
                                        8, false, true, ERROR_INVALID_PARAMETER,
                                        kWineSkipsUtf8Checks},
                    ToBytesArgumentCase{"Utf8RefusesNoBestFit", CP_UTF8, WC_NO_BEST_FIT_CHARS,
                                        OLESTR("abc"), 3, 8, false, false, ERROR_INVALID_FLAGS,
                                        kWineSkipsUtf8Checks},
                    ToBytesArgumentCase{"AnsiRefusesErrInvalidChars", CP_ACP, WC_ERR_INVALID_CHARS,
                                        OLESTR("abc"), 3, 8, false, false, ERROR_INVALID_FLAGS,
                                        kWineSkipsUtf8Checks}),
    [](const testing::TestParamInfo<ToBytesArgumentCase>& info) { return info.param.name; });

// --- CharUpperBuffW ----------------------------------------------------------------------

struct UpperCase {
  const char* name;
  WideString input;
  WideString expected;
};

class CharUpperBuff : public testing::TestWithParam<UpperCase> {};

TEST_P(CharUpperBuff, UpperCasesInPlace) {
  const UpperCase& c = GetParam();
  WideString text = c.input;
  EXPECT_EQ(CharUpperBuffW(text.data(), static_cast<DWORD>(text.size())),
            static_cast<DWORD>(text.size()));
  EXPECT_EQ(testing_support::Narrow(text), testing_support::Narrow(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    CharUpper, CharUpperBuff,
    testing::Values(
        UpperCase{"Ascii", OLESTR("Hello, world 42_{}"), OLESTR("HELLO, WORLD 42_{}")},
        UpperCase{"Latin1", OLESTR("\u00E0\u00E9\u00EE\u00F5\u00FC\u00FE"),
                  OLESTR("\u00C0\u00C9\u00CE\u00D5\u00DC\u00DE")},
        // ÷ is no letter, ß has no one-character capital, ÿ's capital is outside Latin-1,
        // and µ is left alone.
        UpperCase{"Latin1Exceptions", OLESTR("\u00F7\u00DF\u00FF\u00B5"),
                  OLESTR("\u00F7\u00DF\u0178\u00B5")},
        UpperCase{
            "LatinExtendedA",
            OLESTR("\u0101\u0107\u0119\u0133\u013A\u0142\u0144\u0151\u0153\u0161\u017A\u017E"),
            OLESTR("\u0100\u0106\u0118\u0132\u0139\u0141\u0143\u0150\u0152\u0160\u0179\u017D")},
        // Capitals stay, including where the capital/small order flips.
        UpperCase{"LatinExtendedACapitalsStay", OLESTR("\u0100\u0139\u0147\u014A\u0178\u017D"),
                  OLESTR("\u0100\u0139\u0147\u014A\u0178\u017D")},
        UpperCase{"Greek", OLESTR("\u03B1\u03B2\u03C9\u03AC\u03AD\u03CC\u03CE\u03CA"),
                  OLESTR("\u0391\u0392\u03A9\u0386\u0388\u038C\u038F\u03AA")},
        UpperCase{"Cyrillic", OLESTR("\u0430\u0436\u044F\u0451\u0454\u045F"),
                  OLESTR("\u0410\u0416\u042F\u0401\u0404\u040F")},
        UpperCase{"OthersUnchanged", OLESTR("\u4E2D\u20AC1"), OLESTR("\u4E2D\u20AC1")}),
    [](const testing::TestParamInfo<UpperCase>& info) { return info.param.name; });

TEST(CharUpperBuffLength, StopsAtTheLengthNotAtNul) {
  WCHAR text[] = OLESTR("ab\0cd");
  EXPECT_EQ(CharUpperBuffW(text, 4), 4u);
  EXPECT_EQ(WideString(text, 5), WideString(OLESTR("AB\0Cd"), 5));
}

}  // namespace
