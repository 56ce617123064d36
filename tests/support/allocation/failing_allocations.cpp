#include "failing_allocations.h"

#include <cstdlib>
#include <new>

namespace {

thread_local unsigned allocationsUntilFailure = 0;  // 0: unarmed
thread_local bool allocationFailed = false;

}  // namespace

namespace testing_support {

void FailAllocation(unsigned nth) {
  allocationFailed = false;
  allocationsUntilFailure = nth;
}

bool AllocationFailed() {
  return allocationFailed;
}

}  // namespace testing_support

// The whole replaceable set, so that nothing allocated here is freed by another allocator
// (the sanitizers' own, say).
void* operator new(std::size_t size) {
  if (allocationsUntilFailure != 0 && --allocationsUntilFailure == 0) {
    allocationFailed = true;
    throw std::bad_alloc();
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& nothrow) noexcept {
  return operator new(size, nothrow);
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
void operator delete(void* block, const std::nothrow_t&) noexcept {
  std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
  std::free(block);
}
