// Text the host places into XML: each character class as character data and as an
// attribute value (the host's attributes are always in double quotes).
#include "host/common/xml_text.h"

#include <gtest/gtest.h>

#include <string>

namespace quillmere::host {
namespace {

struct Escaping {
  const char* name;
  std::string raw, text, attribute;
};

class XmlText : public testing::TestWithParam<Escaping> {};

TEST_P(XmlText, EscapesForCharacterDataAndAttributes) {
  EXPECT_EQ(EscapeXmlText(GetParam().raw), GetParam().text);
  EXPECT_EQ(EscapeXmlAttribute(GetParam().raw), GetParam().attribute);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, XmlText,
    testing::Values(Escaping{"Markup", "a&b<c>d", "a&amp;b&lt;c&gt;d", "a&amp;b&lt;c&gt;d"},
                    Escaping{"EntityLookalike", "&amp;", "&amp;amp;", "&amp;amp;"},
                    Escaping{"Quotes", "say \"it's\"", "say \"it's\"", "say &quot;it's&quot;"},
                    Escaping{"Whitespace", "a\tb\nc", "a\tb\nc", "a&#9;b&#10;c"},
                    Escaping{"CarriageReturn", "a\r\nb", "a&#13;\nb", "a&#13;&#10;b"},
                    Escaping{"ForbiddenControls", std::string("a\x01\x1F") + '\0' + "b",
                             "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
                             "b",
                             "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
                             "b"},
                    Escaping{"Utf8", "Jos\xC3\xA9 \xE6\x97\xA5", "Jos\xC3\xA9 \xE6\x97\xA5",
                             "Jos\xC3\xA9 \xE6\x97\xA5"},
                    Escaping{"Empty", "", "", ""}),
    [](const testing::TestParamInfo<Escaping>& info) { return info.param.name; });

}  // namespace
}  // namespace quillmere::host
