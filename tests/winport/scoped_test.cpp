// The scoped wrappers: the one handle template, through a handle kind whose closes the
// test can count, and the COM initialiser's pairing with CoUninitialize.
#include <gtest/gtest.h>

#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include <winport/windows.h>

namespace {

std::vector<int> g_closed;

// Positive numbers are handles; 0 is a second "none" besides the empty value -1, as a
// kernel HANDLE has both null and INVALID_HANDLE_VALUE.
struct CountedTraits {
  using Handle = int;
  static int InvalidValue() { return -1; }
  static bool IsValid(int handle) { return handle > 0; }
  static void Close(int handle) { g_closed.push_back(handle); }
};
using Scoped = winport::ScopedGeneric<CountedTraits>;

static_assert(!std::is_copy_constructible_v<Scoped> && !std::is_copy_assignable_v<Scoped>);
static_assert(std::is_nothrow_move_constructible_v<Scoped> &&
              std::is_nothrow_move_assignable_v<Scoped>);
static_assert(!std::is_convertible_v<Scoped, int> && !std::is_convertible_v<int, Scoped>);
static_assert(!std::is_convertible_v<winport::ScopedHandle, HANDLE> &&
              !std::is_convertible_v<winport::ScopedHkey, HKEY> &&
              !std::is_convertible_v<winport::ScopedLibrary, HMODULE>);

class ScopedGeneric : public testing::Test {
 protected:
  void SetUp() override { g_closed.clear(); }
};

// Neither kind of none is closed; Reset closes the old value unless it is the new one;
// Receive closes what was held; Release hands the value over unclosed.
TEST_F(ScopedGeneric, ClosesEachValidHandleOnce) {
  int released = 0;
  {
    Scoped empty;
    EXPECT_EQ(empty.Get(), -1);
    Scoped zero(0);
    EXPECT_FALSE(zero.IsValid());
    Scoped held(7);
    held.Reset(8);
    held.Reset(8);
    EXPECT_EQ(g_closed, std::vector<int>{7});
    int* out = held.Receive();
    EXPECT_EQ(g_closed, (std::vector<int>{7, 8}));
    EXPECT_EQ(*out, -1);
    *out = 9;
    EXPECT_EQ(held.Get(), 9);
    released = held.Release();
    EXPECT_FALSE(held.IsValid());
  }
  EXPECT_EQ(released, 9);
  EXPECT_EQ(g_closed, (std::vector<int>{7, 8}));
}

TEST_F(ScopedGeneric, MovingHandsOwnershipOverAndClosesWhatTheTargetHeld) {
  {
    Scoped first(7);
    Scoped second(std::move(first));
    EXPECT_FALSE(first.IsValid());
    Scoped third(8);
    third = std::move(second);
    EXPECT_EQ(g_closed, std::vector<int>{8});
    EXPECT_FALSE(second.IsValid());
    Scoped& alias = third;
    third = std::move(alias);
    EXPECT_EQ(third.Get(), 7);
  }
  EXPECT_EQ(g_closed, (std::vector<int>{8, 7}));
}

// Runs body on a thread of its own, so the apartments it makes start and end with it.
std::vector<HRESULT> OnFreshThread(std::vector<HRESULT> (*body)()) {
  std::vector<HRESULT> results;
  std::thread([&] { results = body(); }).join();
  return results;
}

TEST(ScopedComInit, RefusedInitLeavesTheApartmentToItsOwner) {
  // Had the refused initialiser uninitialised, the thread would have left its apartment
  // and the last init would be S_OK.
  EXPECT_EQ(OnFreshThread([] {
              winport::ScopedComInit mta(COINIT_MULTITHREADED);
              std::vector<HRESULT> results{mta.Result()};
              {
                winport::ScopedComInit sta(COINIT_APARTMENTTHREADED);
                results.push_back(sta.Succeeded() ? S_OK : sta.Result());
              }
              winport::ScopedComInit again(COINIT_MULTITHREADED);
              results.push_back(again.Result());
              return results;
            }),
            (std::vector<HRESULT>{S_OK, RPC_E_CHANGED_MODE, S_FALSE}));
}

TEST(ScopedComInit, RepeatedInitIsUninitialisedToo) {
  // Once both are gone the thread has no apartment and may choose the other model.
  EXPECT_EQ(OnFreshThread([] {
              std::vector<HRESULT> results;
              {
                winport::ScopedComInit first(COINIT_APARTMENTTHREADED);
                winport::ScopedComInit second(COINIT_APARTMENTTHREADED);
                results = {first.Result(), second.Succeeded() ? second.Result() : E_FAIL};
              }
              winport::ScopedComInit other(COINIT_MULTITHREADED);
              results.push_back(other.Result());
              return results;
            }),
            (std::vector<HRESULT>{S_OK, S_FALSE, S_OK}));
}

}  // namespace
