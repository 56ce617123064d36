#include "plain_heap.h"

#include <cstddef>
#include <new>

namespace quillmere {

namespace {

class PlainHeapResource final : public std::pmr::memory_resource {
  void* do_allocate(std::size_t bytes, std::size_t alignment) override {
    if (alignment > __STDCPP_DEFAULT_NEW_ALIGNMENT__) {
      return ::operator new(bytes, std::align_val_t(alignment));
    }
    return ::operator new(bytes);
  }
  void do_deallocate(void* block, std::size_t bytes, std::size_t alignment) override {
    if (alignment > __STDCPP_DEFAULT_NEW_ALIGNMENT__) {
      ::operator delete(block, bytes, std::align_val_t(alignment));
    } else {
      ::operator delete(block, bytes);
    }
  }
  bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
    return this == &other;
  }
};

}  // namespace

std::pmr::memory_resource& PlainHeap() {
  static PlainHeapResource heap;
  return heap;
}

}  // namespace quillmere
