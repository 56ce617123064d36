#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "host/users/hashing_pool.h"

namespace quillmere::host {
namespace {

// With its threads working and its queue full, the pool refuses at once; once the work is
// done it takes calls again, and a call's exception reaches its caller.
TEST(HashingPool, RefusesAtOnceBeyondItsThreadsAndQueue) {
  for (const size_t queued : {0u, 1u}) {
    HashingPool pool({.threads = 1, .queued = queued});
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::vector<std::thread> callers;
    for (size_t i = 0; i <= queued; ++i)
      callers.emplace_back([&] { pool.Run([&] { released.wait(); }); });
    while (pool.InFlight() < queued + 1)
      std::this_thread::yield();
    EXPECT_THROW(pool.Run([] {}), HashingBusy) << queued << " queued";
    release.set_value();
    for (std::thread& caller : callers)
      caller.join();
    EXPECT_THROW(pool.Run([] { throw std::bad_alloc(); }), std::bad_alloc);
  }
}

}  // namespace
}  // namespace quillmere::host
