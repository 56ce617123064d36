// Running out of memory while building or writing a document raises E_OUTOFMEMORY and
// leaves the element and the output as they were.
//
// This test binary replaces the global allocation functions so that a chosen allocation
// can be made to fail; unarmed, they are plain malloc and free.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <optional>

#include <winport/wide.h>
#include <winport/windows.h>

#include "documents/xml_element.h"
#include "errors/com_error.h"
#include "wide_matchers.h"

namespace {

thread_local unsigned allocationsUntilFailure = 0;  // 0: unarmed
thread_local bool allocationFailed = false;

}  // namespace

void* operator new(std::size_t size) {
  if (allocationsUntilFailure != 0 && --allocationsUntilFailure == 0) {
    allocationFailed = true;
    throw std::bad_alloc();
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}

namespace quillmere {
namespace {

using testing_support::Narrow;
using winport::WideString;

// Long enough that no string fits in a string object's own buffer.
const OLECHAR kLong[] = OLESTR("a text well beyond any short-string buffer");

WideString Written(const CXmlElement& element) {
  WideString output;
  element.Write(output);
  return output;
}

// Runs operation with its first, second, ... allocation failing until it runs through,
// calling unchanged() after each failure. Answers how many allocations were made to fail.
template <class Operation, class Unchanged>
unsigned FailEachAllocationInTurn(const Operation& operation, const Unchanged& unchanged) {
  for (unsigned nth = 1;; ++nth) {
    allocationFailed = false;
    allocationsUntilFailure = nth;
    std::optional<HRESULT> raised;
    try {
      operation();
    } catch (const _com_error& error) {
      raised = error.Error();
    }
    allocationsUntilFailure = 0;
    if (!allocationFailed) {
      EXPECT_EQ(raised, std::nullopt);
      return nth - 1;
    }
    EXPECT_EQ(raised, std::optional<HRESULT>(E_OUTOFMEMORY)) << "allocation " << nth;
    unchanged();
  }
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
