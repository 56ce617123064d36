// Serialisation of element trees, compared byte for byte with the documents clients expect.
#include "documents/xml_element.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>

#include <winport/wide.h>
#include <winport/windows.h>

#include "wide_matchers.h"

namespace quillmere {
namespace {

using testing_support::Narrow;
using winport::Utf8ToWide;
using winport::WideString;

struct WriteCase {
  const char* label;
  // Builds a tree and writes it, returning the output (elements live only inside).
  std::function<WideString()> write;
  const char* expected;  // UTF-8
};

std::ostream& operator<<(std::ostream& out, const WriteCase& c) {
  return out << c.label;
}

WideString Written(const CXmlElement& element) {
  WideString output;
  element.Write(output);
  return output;
}

const WriteCase kWriteCases[] = {
    {"BareElementSelfCloses", [] { return Written(CXmlElement(OLESTR("name"))); }, "<name/>"},
    {"NeverSelfCloseLeavesStartTag",
     [] {
       CXmlElement e(OLESTR("name"));
       e.SetNeverSelfClose(true);
       return Written(e);
     },
     "<name>"},
    {"BothFlagsWithoutContentGiveEmptyPair",
     [] {
       CXmlElement e(OLESTR("name"));
       e.SetNeverSelfClose(true);
       e.SetEndTagAfterChildren(true);
       return Written(e);
     },
     "<name></name>"},
    {"EndTagAfterChildrenAloneStillSelfCloses",
     [] {
       CXmlElement e(OLESTR("name"));
       e.SetEndTagAfterChildren(true);
       return Written(e);
     },
     "<name/></name>"},
    {"TextClosesLeaf", [] { return Written(CXmlElement(OLESTR("TD"), OLESTR("IntVal"))); },
     "<TD>IntVal</TD>"},
    {"SetTextReplacesConstructedText",
     [] {
       CXmlElement e(OLESTR("TD"), OLESTR("old"));
       e.SetText(OLESTR("new"));
       return Written(e);
     },
     "<TD>new</TD>"},
    {"EmptyTextMakesLeafSelfClose",
     [] {
       CXmlElement e(OLESTR("TD"), OLESTR("old"));
       e.SetText(OLESTR(""));
       return Written(e);
     },
     "<TD/>"},
    {"MarkupInTextWrittenUnchanged",
     [] {
       return Written(
           CXmlElement(OLESTR("ADMINSESSIONLIST"), OLESTR("<SESSION id=\"7\">a & b</SESSION>")));
     },
     "<ADMINSESSIONLIST><SESSION id=\"7\">a & b</SESSION></ADMINSESSIONLIST>"},
    {"AttributesInInsertionOrder",
     [] {
       CXmlElement e(OLESTR("row"));
       e.AddAttribute(OLESTR("z"), OLESTR("1"));
       e.AddAttribute(OLESTR("a"), OLESTR("2"));
       e.AddAttribute(OLESTR("m"), OLESTR("3"));
       return Written(e);
     },
     "<row z=\"1\" a=\"2\" m=\"3\"/>"},
    {"EmptyValueWrittenAsEmptyQuotes",
     [] {
       CXmlElement e(OLESTR("QMSSTATIC"));
       e.AddAttribute(OLESTR("fontsize"), OLESTR(""));
       e.AddAttribute(OLESTR("text"), OLESTR("x"));
       return Written(e);
     },
     "<QMSSTATIC fontsize=\"\" text=\"x\"/>"},
    {"EmptyNameDropsAttribute",
     [] {
       CXmlElement e(OLESTR("row"));
       e.AddAttribute(OLESTR("a"), OLESTR("1"));
       e.AddAttribute(OLESTR(""), OLESTR("dropped"));
       e.AddAttribute(OLESTR("b"), OLESTR("2"));
       return Written(e);
     },
     "<row a=\"1\" b=\"2\"/>"},
    {"OnlyAttributeWithEmptyNameLeavesBareTag",
     [] {
       CXmlElement e(OLESTR("row"));
       e.AddAttribute(OLESTR(""), OLESTR("dropped"));
       return Written(e);
     },
     "<row/>"},
    {"ValuesNotEscaped",
     [] {
       CXmlElement e(OLESTR("v"));
       e.AddAttribute(OLESTR("q"), OLESTR("say \"hi\" & <go> 'now'"));
       return Written(e);
     },
     "<v q=\"say \"hi\" & <go> 'now'\"/>"},
    {"IntAttributes",
     [] {
       CXmlElement e(OLESTR("n"));
       e.AddIntAttribute(OLESTR("neg"), -5);
       e.AddIntAttribute(OLESTR("zero"), 0);
       e.AddIntAttribute(OLESTR("ten"), 10);
       e.AddIntAttribute(OLESTR("min"), INT_MIN);
       e.AddIntAttribute(OLESTR("max"), INT_MAX);
       return Written(e);
     },
     "<n neg=\"-5\" zero=\"0\" ten=\"10\" min=\"-2147483648\" max=\"2147483647\"/>"},
    {"IntAndStringAttributesInterleaved",
     [] {
       CXmlElement e(OLESTR("n"));
       e.AddAttribute(OLESTR("a"), OLESTR("x"));
       e.AddIntAttribute(OLESTR("b"), 42);
       e.AddAttribute(OLESTR("c"), OLESTR("y"));
       return Written(e);
     },
     "<n a=\"x\" b=\"42\" c=\"y\"/>"},
    {"NestedContainers",
     [] {
       CXmlElement table(OLESTR("TABLE"));
       CXmlElement row(OLESTR("TR"));
       CXmlElement cell(OLESTR("TD"), OLESTR("7"));
       CXmlElement empty(OLESTR("TD"));
       table.SetEndTagAfterChildren(true);
       row.SetEndTagAfterChildren(true);
       row.AddAttribute(OLESTR("id"), OLESTR("r1"));
       row.AddChild(cell);
       row.AddChild(empty);
       table.AddChild(row);
       return Written(table);
     },
     "<TABLE><TR id=\"r1\"><TD>7</TD> \n<TD/> \n</TR> \n</TABLE>"},
    {"ChildWrittenAsItIsAtWriteTime",
     [] {
       CXmlElement p(OLESTR("p"));
       CXmlElement c(OLESTR("c"));
       p.AddChild(c);
       c.SetText(OLESTR("late"));
       c.AddIntAttribute(OLESTR("n"), 1);
       return Written(p);
     },
     "<p><c n=\"1\">late</c> \n"},
    {"SameChildTwice",
     [] {
       CXmlElement p(OLESTR("p"));
       CXmlElement c(OLESTR("c"));
       p.AddChild(c);
       p.AddChild(c);
       return Written(p);
     },
     "<p><c/> \n<c/> \n"},
    {"TextAndChildrenBothWritten",
     [] {
       CXmlElement p(OLESTR("p"), OLESTR("t"));
       CXmlElement c(OLESTR("c"));
       p.AddChild(c);
       p.SetEndTagAfterChildren(true);
       return Written(p);
     },
     "<p>t</p><c/> \n</p>"},
    {"NewChildrenKeptAliveByParent",
     [] {
       CXmlElement root(OLESTR("root"));
       root.SetEndTagAfterChildren(true);
       {
         CXmlElement& first = root.AddNewChild(OLESTR("item"), OLESTR("one"));
         first.AddIntAttribute(OLESTR("n"), 1);
         CXmlElement& second = root.AddNewChild(OLESTR("item"), OLESTR(""));
         second.AddNewChild(OLESTR("leaf"), OLESTR("deep"));
         second.SetEndTagAfterChildren(true);
       }
       CXmlElement own(OLESTR("own"));
       root.AddChild(own);
       root.AddNewChild(OLESTR("last"), OLESTR("3"));
       return Written(root);
     },
     "<root><item n=\"1\">one</item> \n<item><leaf>deep</leaf> \n</item> \n<own/> \n"
     "<last>3</last> \n</root>"},
    {"PiecewiseWriting",
     [] {
       CXmlElement table(OLESTR("TABLE"));
       table.AddAttribute(OLESTR("border"), OLESTR("0"));
       table.SetNeverSelfClose(true);
       WideString output;
       table.Write(output);
       for (const char* cell : {"a", "b"}) {
         CXmlElement td(OLESTR("TD"), Utf8ToWide(cell));
         td.Write(output);
       }
       output += OLESTR("<raw/>");
       table.WriteEndTag(output);
       return output;
     },
     "<TABLE border=\"0\"><TD>a</TD><TD>b</TD><raw/></TABLE>"},
    {"WriteEndTagAppendsOnlyTheEndTag",
     [] {
       WideString output = OLESTR("x");
       CXmlElement e(OLESTR("QMSDIALOG"), OLESTR("ignored"));
       e.AddAttribute(OLESTR("a"), OLESTR("ignored"));
       e.WriteEndTag(output);
       return output;
     },
     "x</QMSDIALOG>"},
    {"NonAsciiKept",
     [] {
       CXmlElement e(Utf8ToWide("Stra\u00dfe"),
                     Utf8ToWide("Z\u00fcrich \u2013 \u6771\u4eac \U0001F600"));
       e.AddAttribute(Utf8ToWide("\u00e9t\u00e9"), Utf8ToWide("\u20ac5"));
       return Written(e);
     },
     "<Stra\u00dfe \u00e9t\u00e9=\"\u20ac5\">Z\u00fcrich \u2013 \u6771\u4eac "
     "\U0001F600</Stra\u00dfe>"},
};

class XmlElementWrite : public testing::TestWithParam<WriteCase> {};

TEST_P(XmlElementWrite, WritesExactDocument) {
  const WriteCase& c = GetParam();
  const WideString written = c.write();
  EXPECT_EQ(written, Utf8ToWide(c.expected)) << "written: " << Narrow(written);
}

INSTANTIATE_TEST_SUITE_P(Rules, XmlElementWrite, testing::ValuesIn(kWriteCases),
                         [](const testing::TestParamInfo<WriteCase>& info) {
                           return std::string(info.param.label);
                         });

// Embedded NULs are part of a counted string and must not cut the output short.
TEST(XmlElementWriteCounted, EmbeddedNulKept) {
  const OLECHAR text[] = {OLESTR('a'), 0, OLESTR('b')};
  CXmlElement e(OLESTR("t"), winport::WideView(text, 3));
  const WideString expected = WideString(OLESTR("<t>a")) + OLECHAR{0} + OLESTR("b</t>");
  EXPECT_EQ(Written(e), expected);
}

}  // namespace
}  // namespace quillmere
