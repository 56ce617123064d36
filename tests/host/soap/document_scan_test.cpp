#include <gtest/gtest.h>

#include <string>

#include "document_scan.h"

namespace {

using quillmere::host::ProvedWellFormed;

constexpr quillmere::host::DocumentBounds kRoomy{32, 1000};

struct ScanCase {
  const char* name;
  std::string document;
  bool proved;
};

// Each case that is not well-formed must never be proved; the well-formed ones the scan does
// not take on are left to the parser, so they are not proved either.
TEST(ProvedWellFormed, ProvesOnlyWellFormedDocumentsOfThePlainShape) {
  std::string attributes = "<A";
  for (int i = 0; i < 33; ++i)
    attributes += " a" + std::to_string(i) + "=''";
  // clang-format off
  const ScanCase cases[] = {
      {"plain", "<A b=\"1\" c='2'>x &lt;&gt;&amp;&quot;&apos; &#65;&#x42;</A>", true},
      {"text and empty", "", true}, {"top-level text and elements", "t<A/>\n<B\t/>u", true},
      {"spaces in tags", "<A\n b = \"]]>\" ></A >", true},
      {"multi-byte", "<A t=\"\xC3\xA9\">\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBD</A>", true},
      {"unclosed", "<A>", false}, {"crossed", "<A><B></A></B>", false},
      {"stray end", "</A>", false}, {"duplicate attribute", "<A b=\"1\" b=\"2\"/>", false},
      {"attributes not apart", "<A b=\"1\"c=\"2\"/>", false}, {"unquoted", "<A b=1/>", false},
      {"markup in a value", "<A b=\"<\"/>", false}, {"section end in text", "a ]]> b", false},
      {"undefined entity", "&nbsp;", false}, {"bare ampersand", "a & b", false},
      {"null reference", "&#0;", false}, {"surrogate reference", "&#xD800;", false},
      {"reference beyond Unicode", "&#x110000;", false}, {"control character", "a\x01z", false},
      {"broken sequence", "\xC3(", false}, {"overlong", "\xC0\xAF", false},
      {"encoded surrogate", "\xED\xA0\x80", false}, {"not a character", "\xEF\xBF\xBF", false},
      {"cut short", "\xE2\x82", false}, {"undeclared prefix", "<p:A/>", false},
      {"declared prefix", "<p:A xmlns:p=\"urn:x\"/>", false},
      {"default namespace", "<A xmlns=\"urn:x\"/>", false},
      {"comment", "<A><!-- c --></A>", false}, {"cdata", "<![CDATA[x]]>", false},
      {"instruction", "<?x y?>", false}, {"name beyond ASCII", "<\xC3\x84/>", false},
      {"many attributes", attributes + "/>", false},
  };
  // clang-format on
  for (const ScanCase& test : cases) {
    EXPECT_EQ(ProvedWellFormed(test.document, kRoomy), test.proved) << test.name;
  }
}

TEST(ProvedWellFormed, CountsDepthAndElementsWithTheHoldingElement) {
  // clang-format off
  const struct { std::string document; int depth; size_t elements; bool proved; } cases[] = {
      {"<A><B/></A>", 3, 3, true},   {"<A><B/></A>", 2, 3, false},
      {"<A/><A/>", 2, 3, true},      {"<A/><A/>", 2, 2, false},
      {"<A><B></B></A>", 3, 3, true}, {"<A><B><C/></B></A>", 3, 10, false},
  };
  // clang-format on
  for (const auto& test : cases) {
    EXPECT_EQ(ProvedWellFormed(test.document, {test.depth, test.elements}), test.proved)
        << test.document << " within " << test.depth << ", " << test.elements;
  }
}

}  // namespace
