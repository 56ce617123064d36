// Test-only fault injection: makes chosen calls of a named winport function fail.
//
//   winport::fault::FailCall("CoInitializeEx", RPC_E_CHANGED_MODE);        // next call fails
//   winport::fault::FailCall("SysAllocStringLen", 0, /*nth=*/3, /*times=*/2);
//
// The result is what the function answers instead of doing its work: the HRESULT or
// LSTATUS it returns, or, for a function that returns a handle or pointer (or a wait),
// the Win32 error it leaves in GetLastError while returning null (WAIT_FAILED). The
// test main resets every rule before each test.
#pragma once

#include <cstdint>
#include <string_view>

namespace winport::fault {

// The nth call from now (1 = the next one) and the (times - 1) calls after it fail.
void FailCall(std::string_view function, std::uint32_t result, unsigned nth = 1,
              unsigned times = 1);

// Removes every rule.
void Reset();

// Called by the implementations: true when this call must fail, with its result.
bool ShouldFail(std::string_view function, std::uint32_t* result);

}  // namespace winport::fault
