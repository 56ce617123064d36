// Documents of several megabytes are made and freed in every iteration. With glibc's
// dynamic thresholds, whether such a block comes from fresh pages (a page fault per 4 KiB)
// or from memory kept by the heap depends on the sizes freed before, so one benchmark's
// figure could change with the one that ran before it in the same process, by a factor
// of six. Fixed thresholds keep freed memory in the heap, and the figures measure the code.
#include <malloc.h>

namespace {

const bool kSteadyHeap = [] {
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  return true;
}();

}  // namespace
