// The small error-path helpers: what each lets through and what it answers.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

#include <winport/windows.h>

#include "errors/com_error.h"
#include "errors/failure_helpers.h"
#include "errors/on_failure.h"

namespace {

using quillmere::OnFailure;

TEST(RunAnsweringComOrMemoryError, AnswersTheTwoFailuresItKnowsAndPassesOnTheRest) {
  struct Row {
    std::function<void()> work;
    HRESULT answer;
  };
  const Row rows[] = {
      {[] {}, S_OK},
      {[] { throw std::bad_alloc(); }, E_OUTOFMEMORY},
      {[] { quillmere::RaiseComErrorWithoutInfo(E_ACCESSDENIED); }, E_ACCESSDENIED}};
  for (const Row& row : rows)
    EXPECT_EQ(quillmere::RunAnsweringComOrMemoryError(row.work), row.answer);
  EXPECT_THROW(quillmere::RunAnsweringComOrMemoryError([] { throw std::runtime_error("x"); }),
               std::runtime_error);
}

// Unwinding that was under way before the guard was made is not the guarded scope failing.
struct GuardedInDestructor {
  int& undone;
  ~GuardedInDestructor() {
    const OnFailure guard([this]() noexcept { ++undone; });
  }
};

TEST(OnFailure, UndoesOnlyWhenAnExceptionLeavesItsScope) {
  int undone = 0;
  {
    const OnFailure guard([&]() noexcept { ++undone; });
  }
  EXPECT_EQ(undone, 0);
  try {
    const OnFailure guard([&]() noexcept { ++undone; });
    throw 1;
  } catch (int) {
  }
  EXPECT_EQ(undone, 1);
  try {
    const GuardedInDestructor inner{undone};
    throw 2;
  } catch (int) {
  }
  EXPECT_EQ(undone, 1);
}

}  // namespace
