// Test-only clock: fixes the time every winport time function answers, so tests can
// stand at a chosen instant and step over midnight.
//
//   winport::test_clock::Set({2026, 12, 0, 31, 23, 59, 59, 999});  // UTC
//   winport::test_clock::Advance(1);                                 // milliseconds
//
// The clock stands still between calls to Advance. The test main resets it before each
// test. On Windows the system's own functions answer and cannot be reached: see
// ReachesPlatform().
#pragma once

#include <cstdint>

#include <winport/windows_api.h>

namespace winport::test_clock {

// From now on the time is `utc` (wDayOfWeek is ignored) and local time is
// `utc` + `local_offset_minutes`.
void Set(const SYSTEMTIME& utc, int local_offset_minutes = 0);
void Advance(std::int64_t milliseconds);
// Back to the real clock.
void Reset();

// True when the platform's time functions read this clock (winport's own, on Linux).
bool ReachesPlatform();

}  // namespace winport::test_clock
