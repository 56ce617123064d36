// Running out of memory while building or writing a document raises E_OUTOFMEMORY and
// leaves the element and the output as they were.
#include <gtest/gtest.h>

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
