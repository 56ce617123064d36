// The heap as a memory resource, through plain operator new like the module's other
// strings: the standard one asks for aligned memory instead, which the allocation-failure
// tests cannot make fail.
#pragma once

#include <memory_resource>

namespace quillmere {

std::pmr::memory_resource& PlainHeap();

}  // namespace quillmere
