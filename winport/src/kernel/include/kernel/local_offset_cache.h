// The local zone's offset from UTC, looked up once per second of UTC.
#pragma once

#include <cstdint>
#include <limits>

namespace winport::detail {

// A zone's offset changes only at a whole second (a change of daylight saving time, a new
// zone), so an instant in the second last looked up has the offset found for it: the C
// library's conversion, which reads the zone's rules under a lock, runs once a second.
class LocalOffsetCache {
 public:
  // The offset at `utc_milliseconds`: lookup(utc_milliseconds) when the instant lies in
  // another second than the last lookup's, else the offset that lookup gave.
  template <typename Lookup>
  std::int64_t At(std::int64_t utc_milliseconds, Lookup lookup) {
    std::int64_t second = utc_milliseconds / 1000;
    if (utc_milliseconds % 1000 < 0) --second;
    if (second != second_) {
      offset_ = lookup(utc_milliseconds);
      second_ = second;
    }
    return offset_;
  }

 private:
  std::int64_t second_ = std::numeric_limits<std::int64_t>::min();
  std::int64_t offset_ = 0;
};

}  // namespace winport::detail
