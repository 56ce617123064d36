// Real hardware faults for tests of the fault translation: an integer division by zero
// and accesses to an unmapped address. Kept out of the sanitizers' and the optimiser's
// sight, so that the instruction runs and faults.
#pragma once

#include <winport/windows.h>

namespace testing_support {

#define QUILLMERE_FAULTING __attribute__((noinline, no_sanitize("address", "undefined")))

QUILLMERE_FAULTING inline int Divide(int numerator, int denominator) {
  // Volatile on both sides: the division must be done even when the result is unused.
  volatile int divisor = denominator;
  volatile int quotient = numerator / divisor;  // NOLINT(clang-analyzer-core.DivideZero)
  return quotient;
}

QUILLMERE_FAULTING inline void WriteTo(ULONG_PTR address) {
  volatile ULONG_PTR target = address;  // an address the optimiser cannot see through
  *reinterpret_cast<volatile int*>(target) = 1;
}

QUILLMERE_FAULTING inline int ReadFrom(ULONG_PTR address) {
  volatile ULONG_PTR target = address;
  return *reinterpret_cast<volatile int*>(target);
}

#undef QUILLMERE_FAULTING

}  // namespace testing_support
