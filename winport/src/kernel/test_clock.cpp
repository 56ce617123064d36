#include <winport/test_clock.h>

#include <mutex>

#include "clock.h"

namespace winport {
namespace {

std::mutex g_mutex;
bool g_set = false;
std::int64_t g_utc = 0;
std::int64_t g_offset = 0;

}  // namespace

namespace test_clock {

void Set(const SYSTEMTIME& utc, int local_offset_minutes) {
  std::lock_guard lock(g_mutex);
  g_set = true;
  g_utc = detail::MillisecondsOf(utc);
  g_offset = local_offset_minutes * 60'000LL;
}

void Advance(std::int64_t milliseconds) {
  std::lock_guard lock(g_mutex);
  g_utc += milliseconds;
}

void Reset() {
  std::lock_guard lock(g_mutex);
  g_set = false;
}

bool ReachesPlatform() {
#ifdef _WIN32
  return false;
#else
  return true;
#endif
}

}  // namespace test_clock

namespace detail {

bool TestClockNow(std::int64_t* utc_milliseconds, std::int64_t* local_offset_milliseconds) {
  std::lock_guard lock(g_mutex);
  if (!g_set) return false;
  *utc_milliseconds = g_utc;
  *local_offset_milliseconds = g_offset;
  return true;
}

}  // namespace detail
}  // namespace winport
