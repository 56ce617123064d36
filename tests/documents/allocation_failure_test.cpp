// Running out of memory while building or writing a document raises E_OUTOFMEMORY and
// leaves the element and the output as they were.
#include <gtest/gtest.h>

#include <cstddef>
#include <utility>

#include <winport/wide.h>
#include <winport/windows.h>

#include "allocation/failing_allocations.h"
#include "documents/xml_element.h"
#include "wide_matchers.h"

namespace quillmere {
namespace {

using testing_support::FailEachAllocationInTurn;
using testing_support::Narrow;
using winport::WideString;

// Long enough that no string fits in a string object's own buffer.
const OLECHAR kLong[] = OLESTR("a text well beyond any short-string buffer");

WideString Written(const CXmlElement& element) {
  WideString output;
  element.Write(output);
  return output;
}

TEST(XmlElementOutOfMemory, FailedAddLeavesElementUnchanged) {
  CXmlElement element(OLESTR("e"), kLong);
  element.AddAttribute(OLESTR("first"), kLong);
  CXmlElement child(OLESTR("child"));
  element.AddChild(child);
  const WideString before = Written(element);
  const unsigned failures =
      FailEachAllocationInTurn([&] { element.AddNewChild(kLong, kLong); },
                               [&] { EXPECT_EQ(Narrow(Written(element)), Narrow(before)); });
  EXPECT_GT(failures, 2u);  // the new element, its strings, the two lists
  EXPECT_NE(Written(element), before);
}

// Elements of their own and elements made in a tree's memory alike, also once the tree has
// memory of its own. Each value is larger than all memory taken before, so that it needs
// more.
TEST(XmlElementOutOfMemory, FailedAttributeOrChildLeavesTreeUnchanged) {
  CXmlElement root(OLESTR("root"));
  root.SetEndTagAfterChildren(true);
  CXmlElement& made = root.AddNewChild(OLESTR("made"), kLong);
  const std::pair<CXmlElement*, std::size_t> cases[] = {{&root, 5000}, {&made, 100000}};
  for (const auto& [element, size] : cases) {
    const WideString huge(size, OLESTR('v'));
    element->AddAttribute(OLESTR("a"), kLong);
    const WideString before = Written(root);
    EXPECT_GT(FailEachAllocationInTurn([&] { element->AddAttribute(kLong, huge); },
                                       [&] { EXPECT_EQ(Written(root), before); }),
              0u);
    const WideString withAttribute = Written(root);
    EXPECT_GT(FailEachAllocationInTurn([&] { element->AddNewChild(OLESTR("c"), huge); },
                                       [&] { EXPECT_EQ(Written(root), withAttribute); }),
              0u);
    EXPECT_NE(Written(root), withAttribute);
  }
}

TEST(XmlElementOutOfMemory, FailedWriteLeavesNoPartOfTheElement) {
  CXmlElement root(OLESTR("root"));
  root.SetEndTagAfterChildren(true);
  for (int i = 0; i < 50; ++i)
    root.AddNewChild(OLESTR("row"), kLong).AddIntAttribute(OLESTR("n"), i);
  const WideString complete = Written(root);
  const WideString prefix = OLESTR("<previous/>");
  WideString output = prefix;
  output.shrink_to_fit();
  const unsigned failures = FailEachAllocationInTurn(
      [&] { root.Write(output); }, [&] { EXPECT_EQ(Narrow(output), Narrow(prefix)); });
  EXPECT_GT(failures, 0u);
  EXPECT_EQ(output, prefix + complete);
}

}  // namespace
}  // namespace quillmere
