// How an implementation honours fault injection at its top:
//   WINPORT_FAIL_HRESULT("CoInitializeEx");          // returns the injected HRESULT
//   WINPORT_FAIL_NULL("SysAllocStringLen");          // sets the last error, returns null
//   WINPORT_FAIL_LSTATUS("RegOpenKeyExW");            // returns the injected LSTATUS
#pragma once

#include <cstdint>

#include <winport/fault_injection.h>
#include <winport/message.h>

#define WINPORT_FAIL_HRESULT(name)                             \
  do {                                                         \
    std::uint32_t injected_result_;                            \
    if (::winport::fault::ShouldFail(name, &injected_result_)) \
      return static_cast<HRESULT>(injected_result_);           \
  } while (0)

#define WINPORT_FAIL_NULL(name)                                  \
  do {                                                           \
    std::uint32_t injected_result_;                              \
    if (::winport::fault::ShouldFail(name, &injected_result_)) { \
      SetLastError(injected_result_);                            \
      return nullptr;                                            \
    }                                                            \
  } while (0)

#define WINPORT_FAIL_LSTATUS(name)                             \
  do {                                                         \
    std::uint32_t injected_result_;                            \
    if (::winport::fault::ShouldFail(name, &injected_result_)) \
      return static_cast<LSTATUS>(injected_result_);           \
  } while (0)
