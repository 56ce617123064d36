// Making a chosen allocation of the test's own thread fail. Only test programs that link
// test_failing_allocations get these allocation functions; unarmed they are plain malloc
// and free, and other threads are never made to fail.
#pragma once

#include <optional>

#include <gtest/gtest.h>
#include <winport/windows.h>

#include "errors/com_error.h"

namespace testing_support {

// The nth allocation from now on this thread fails with std::bad_alloc; 0 disarms.
void FailAllocation(unsigned nth);
// Whether an armed failure has happened since the last FailAllocation.
bool AllocationFailed();

// Runs operation with its first, second, ... allocation failing until it runs through,
// expecting E_OUTOFMEMORY as _com_error each time and calling unchanged() after each
// failure. Answers how many allocations were made to fail.
template <class Operation, class Unchanged>
unsigned FailEachAllocationInTurn(const Operation& operation, const Unchanged& unchanged) {
  for (unsigned nth = 1;; ++nth) {
    FailAllocation(nth);
    std::optional<HRESULT> raised;
    try {
      operation();
    } catch (const quillmere::_com_error& error) {
      raised = error.Error();
    }
    const bool failed = AllocationFailed();
    FailAllocation(0);
    if (!failed) {
      EXPECT_EQ(raised, std::nullopt);
      return nth - 1;
    }
    EXPECT_EQ(raised, std::optional<HRESULT>(E_OUTOFMEMORY)) << "allocation " << nth;
    unchanged();
  }
}

}  // namespace testing_support
