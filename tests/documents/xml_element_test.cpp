// Serialisation of element trees, compared byte for byte with the documents clients expect.
#include "documents/xml_element.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>

#include <winport/wide.h>
#include <winport/windows.h>

#include "wide_matchers.h"

namespace quillmere {
namespace {

using testing_support::Narrow;
using winport::Utf8ToWide;
using winport::WideString;

std::string Document(const CXmlElement& element) {
  WideString output;
  element.Write(output);
  return Narrow(output);
}

// How an element without children closes, by its text and its two flags.
TEST(XmlElementWrite, LeafShapes) {
  // text, NeverSelfClose, EndTagAfterChildren, the document
  const std::tuple<const char*, bool, bool, const char*> cases[] = {
      {"", false, false, "<n/>"},
      {"", true, false, "<n>"},
      {"", true, true, "<n></n>"},
      {"", false, true, "<n/></n>"},
      {"IntVal", false, false, "<n>IntVal</n>"},
      {"<S id=\"7\">a & b</S>", false, false, "<n><S id=\"7\">a & b</S></n>"},
  };
  for (const auto& [text, neverSelfClose, endTagAfterChildren, expected] : cases) {
    CXmlElement element(OLESTR("n"), Utf8ToWide(text));
    element.SetNeverSelfClose(neverSelfClose);
    element.SetEndTagAfterChildren(endTagAfterChildren);
    EXPECT_EQ(Document(element), expected) << text << ' ' << neverSelfClose << endTagAfterChildren;
  }
}

// In the order added; an empty value is written as "", an attribute without a name is
// dropped, nothing is escaped and numbers are plain decimal.
TEST(XmlElementWrite, Attributes) {
  CXmlElement element(OLESTR("n"));
  element.AddAttribute(OLESTR("z"), OLESTR("1"));
  element.AddAttribute(OLESTR("fontsize"), OLESTR(""));
  element.AddAttribute(OLESTR(""), OLESTR("dropped"));
  element.AddIntAttribute(OLESTR("neg"), -5);
  element.AddAttribute(OLESTR("q"), OLESTR("say \"hi\" & <go>"));
  element.AddIntAttribute(OLESTR("zero"), 0);
  element.AddIntAttribute(OLESTR("ten"), 10);
  element.AddIntAttribute(OLESTR("min"), INT_MIN);
  element.AddIntAttribute(OLESTR("max"), INT_MAX);
  EXPECT_EQ(Document(element),
            "<n z=\"1\" fontsize=\"\" neg=\"-5\" q=\"say \"hi\" & <go>\" zero=\"0\" ten=\"10\" "
            "min=\"-2147483648\" max=\"2147483647\"/>");
}

// Every child, the last too, is followed by a space and a line feed; a container is
// closed after its children, and an element with text as well gets its end tag twice.
TEST(XmlElementWrite, Containers) {
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
  EXPECT_EQ(Document(table), "<TABLE><TR id=\"r1\"><TD>7</TD> \n<TD/> \n</TR> \n</TABLE>");

  CXmlElement withText(OLESTR("p"), OLESTR("t"));
  withText.AddChild(empty);
  withText.SetEndTagAfterChildren(true);
  EXPECT_EQ(Document(withText), "<p>t</p><TD/> \n</p>");
}

// Children are referenced, not copied: each is written as it is when its parent is
// written, as often as it was added; without the flag the parent is left open.
TEST(XmlElementWrite, ChildrenAreReferences) {
  CXmlElement parent(OLESTR("p"));
  CXmlElement child(OLESTR("c"));
  parent.AddChild(child);
  parent.AddChild(child);
  child.SetText(OLESTR("late"));
  EXPECT_EQ(Document(parent), "<p><c>late</c> \n<c>late</c> \n");
}

// Elements made by AddNewChild live with their parent, in order among attached ones.
TEST(XmlElementWrite, NewChildrenKeptByParent) {
  CXmlElement root(OLESTR("root"));
  root.SetEndTagAfterChildren(true);
  root.AddNewChild(OLESTR("item"), OLESTR("one")).AddIntAttribute(OLESTR("n"), 1);
  CXmlElement own(OLESTR("own"));
  root.AddChild(own);
  CXmlElement& second = root.AddNewChild(OLESTR("item"), OLESTR(""));
  second.AddNewChild(OLESTR("leaf"), OLESTR("deep"));
  second.SetEndTagAfterChildren(true);
  EXPECT_EQ(Document(root),
            "<root><item n=\"1\">one</item> \n<own/> \n<item><leaf>deep</leaf> \n</item> \n"
            "</root>");
}

// A tree of thousands of new elements, nested and changed after they were made, is written
// whole and in order.
TEST(XmlElementWrite, LargeTreeOfNewChildren) {
  CXmlElement root(OLESTR("T"));
  root.SetEndTagAfterChildren(true);
  std::string expected = "<T>";
  for (int i = 0; i < 3000; ++i) {
    CXmlElement& row = root.AddNewChild(OLESTR("r"), OLESTR("x"));
    const std::string text(static_cast<std::size_t>(i % 40), 'a');
    row.AddNewChild(OLESTR("c"), Utf8ToWide(text)).AddIntAttribute(OLESTR("n"), -i);
    row.SetText(Utf8ToWide(text + "!"));
    row.AddAttribute(OLESTR("k"), Utf8ToWide(text));
    const std::string cell =
        "<c n=\"" + std::to_string(-i) + (text.empty() ? "\"/>" : "\">" + text + "</c>");
    expected += "<r k=\"" + text + "\">" + text + "!</r>" + cell + " \n \n";
  }
  EXPECT_EQ(Document(root), expected + "</T>");
}

// A large element written piecewise: opened by Write, filled by the caller, closed by
// WriteEndTag, which writes the end tag alone; every write appends.
TEST(XmlElementWrite, Piecewise) {
  CXmlElement table(OLESTR("TABLE"));
  table.AddAttribute(OLESTR("border"), OLESTR("0"));
  table.SetNeverSelfClose(true);
  WideString output = OLESTR("x");
  table.Write(output);
  CXmlElement(OLESTR("TD"), OLESTR("a")).Write(output);
  CXmlElement::WriteChildSeparator(output);
  output += OLESTR("<raw/>");
  table.WriteEndTag(output);
  EXPECT_EQ(Narrow(output), "x<TABLE border=\"0\"><TD>a</TD> \n<raw/></TABLE>");
}

// Counted strings are copied whole: characters beyond ASCII and embedded NULs too.
TEST(XmlElementWrite, CountedStringsKeptWhole) {
  const OLECHAR text[] = {OLESTR('a'), 0, OLESTR('b')};
  CXmlElement element(Utf8ToWide("Stra\u00dfe"), winport::WideView(text, 3));
  element.AddAttribute(Utf8ToWide("\u00e9t\u00e9"), Utf8ToWide("\u20ac5 \U0001F600"));
  EXPECT_EQ(Document(element), std::string("<Stra\u00dfe \u00e9t\u00e9=\"\u20ac5 \U0001F600\">a") +
                                   '\0' + "b</Stra\u00dfe>");
}

}  // namespace
}  // namespace quillmere
