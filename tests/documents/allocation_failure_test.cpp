// Running out of memory while building or writing a document: the operation raises
// E_OUTOFMEMORY and leaves the element and the output as they were.
//
// This test binary replaces the global allocation functions so that a chosen allocation
// can be made to fail; unarmed, they are plain malloc and free.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <functional>
#include <new>
#include <optional>
#include <string>

#include <winport/wide.h>
#include <winport/windows.h>

#include "documents/xml_element.h"
#include "errors/com_error.h"
#include "wide_matchers.h"

namespace {

thread_local unsigned allocationsUntilFailure = 0;  // 0: unarmed
thread_local bool allocationFailed = false;

void* Allocate(std::size_t size) {
  if (allocationsUntilFailure != 0 && --allocationsUntilFailure == 0) {
    allocationFailed = true;
    throw std::bad_alloc();
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete[](void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
  std::free(block);
}

namespace quillmere {
namespace {

using testing_support::Narrow;
using winport::WideString;

// Runs operation with its nth allocation failing; the error it raised, if any.
std::optional<HRESULT> WithFailingAllocation(unsigned nth, const std::function<void()>& operation) {
  allocationFailed = false;
  allocationsUntilFailure = nth;
  std::optional<HRESULT> raised;
  try {
    operation();
  } catch (const _com_error& error) {
    raised = error.Error();
  }
  allocationsUntilFailure = 0;
  return raised;
}

// Long enough that no string fits in a string object's own buffer.
const OLECHAR kLong[] = OLESTR("a text well beyond any short-string buffer");

struct MutationCase {
  const char* label;
  std::function<void(CXmlElement&)> mutate;
};

std::ostream& operator<<(std::ostream& out, const MutationCase& c) {
  return out << c.label;
}

CXmlElement kept(OLESTR("kept"));

const MutationCase kMutationCases[] = {
    {"SetText", [](CXmlElement& e) { e.SetText(kLong); }},
    {"AddAttribute", [](CXmlElement& e) { e.AddAttribute(kLong, kLong); }},
    {"AddIntAttribute", [](CXmlElement& e) { e.AddIntAttribute(kLong, INT_MIN); }},
    {"AddChild", [](CXmlElement& e) { e.AddChild(kept); }},
    {"AddNewChild", [](CXmlElement& e) { e.AddNewChild(kLong, kLong); }},
};

class XmlElementMutationOutOfMemory : public testing::TestWithParam<MutationCase> {};

// Every allocation the mutation makes is made to fail in turn; each failure must leave the
// element writing exactly what it wrote before.
TEST_P(XmlElementMutationOutOfMemory, RaisesAndLeavesElementUnchanged) {
  CXmlElement element(OLESTR("e"), OLESTR("the text the element had before the mutation"));
  element.AddAttribute(OLESTR("first"), OLESTR("an attribute value the mutation must keep"));
  CXmlElement child(OLESTR("child"));
  element.AddChild(child);
  WideString before;
  element.Write(before);

  unsigned failures = 0;
  for (unsigned nth = 1;; ++nth) {
    const std::optional<HRESULT> raised =
        WithFailingAllocation(nth, [&] { GetParam().mutate(element); });
    if (!allocationFailed) {
      EXPECT_FALSE(raised.has_value());
      break;
    }
    ++failures;
    EXPECT_EQ(raised, std::optional<HRESULT>(E_OUTOFMEMORY)) << "allocation " << nth;
    WideString after;
    element.Write(after);
    EXPECT_EQ(after, before) << "allocation " << nth << ": " << Narrow(after);
  }
  EXPECT_GT(failures, 0u) << "the mutation allocated nothing";
  WideString changed;
  element.Write(changed);
  EXPECT_NE(changed, before);
}

INSTANTIATE_TEST_SUITE_P(Operations, XmlElementMutationOutOfMemory,
                         testing::ValuesIn(kMutationCases),
                         [](const testing::TestParamInfo<MutationCase>& info) {
                           return std::string(info.param.label);
                         });

TEST(XmlElementConstructionOutOfMemory, Raises) {
  EXPECT_EQ(WithFailingAllocation(1, [] { CXmlElement e(kLong); }),
            std::optional<HRESULT>(E_OUTOFMEMORY));
  EXPECT_EQ(WithFailingAllocation(2, [] { CXmlElement e(kLong, kLong); }),
            std::optional<HRESULT>(E_OUTOFMEMORY));
}

// A write that runs out of memory part-way leaves no partial element in the output, at
// whatever point of the tree it fails.
TEST(XmlElementWriteOutOfMemory, OutputKeepsPreviousContent) {
  CXmlElement root(OLESTR("root"));
  root.SetEndTagAfterChildren(true);
  root.AddAttribute(OLESTR("name"), kLong);
  for (int i = 0; i < 50; ++i) {
    CXmlElement& row = root.AddNewChild(OLESTR("row"), kLong);
    row.AddIntAttribute(OLESTR("n"), i);
  }
  WideString complete;
  root.Write(complete);

  const WideString prefix = OLESTR("<previous/>");
  unsigned failures = 0;
  for (unsigned nth = 1;; ++nth) {
    WideString output = prefix;
    output.shrink_to_fit();
    const std::optional<HRESULT> raised = WithFailingAllocation(nth, [&] { root.Write(output); });
    if (!allocationFailed) {
      EXPECT_FALSE(raised.has_value());
      EXPECT_EQ(output, prefix + complete);
      break;
    }
    ++failures;
    EXPECT_EQ(raised, std::optional<HRESULT>(E_OUTOFMEMORY)) << "allocation " << nth;
    EXPECT_EQ(output, prefix) << "allocation " << nth;
  }
  EXPECT_GT(failures, 0u);

  WideString closed = prefix;
  closed.shrink_to_fit();
  EXPECT_EQ(WithFailingAllocation(1, [&] { root.WriteEndTag(closed); }),
            std::optional<HRESULT>(E_OUTOFMEMORY));
  EXPECT_EQ(closed, prefix);
}

}  // namespace
}  // namespace quillmere
