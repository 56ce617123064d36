// Times as the host keeps and writes them: OLE dates at the COM boundary, UTC text to the
// second everywhere else.
#pragma once

#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include <winport/windows.h>

namespace quillmere::host {

namespace utc_time_detail {
// Day 0 of OLE automation dates is 1899-12-30, 25569 days before the Unix epoch.
inline constexpr double kUnixEpochAsOleDate = 25569.0;
inline constexpr double kSecondsPerDay = 86400.0;

inline struct tm Broken(std::chrono::system_clock::time_point time) {
  const time_t seconds =
      std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(time));
  struct tm parts {};
  gmtime_r(&seconds, &parts);
  return parts;
}
}  // namespace utc_time_detail

inline DATE ToOleDate(std::chrono::system_clock::time_point time) {
  const std::chrono::duration<double> seconds = time.time_since_epoch();
  return utc_time_detail::kUnixEpochAsOleDate + seconds.count() / utc_time_detail::kSecondsPerDay;
}

inline std::chrono::system_clock::time_point FromOleDate(DATE date) {
  const auto seconds = static_cast<long long>(std::llround(
      (date - utc_time_detail::kUnixEpochAsOleDate) * utc_time_detail::kSecondsPerDay));
  return std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
}

// The date cut short to its whole second.
inline DATE WholeSecondOf(DATE date) {
  using namespace utc_time_detail;
  return kUnixEpochAsOleDate +
         std::floor((date - kUnixEpochAsOleDate) * kSecondsPerDay) / kSecondsPerDay;
}

// YYYY-MM-DDTHH:MM:SSZ
inline std::string UtcText(std::chrono::system_clock::time_point time) {
  const struct tm parts = utc_time_detail::Broken(time);
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", parts.tm_year + 1900,
                parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
  return text;
}

// YYYYMMDD
inline std::string UtcDate(std::chrono::system_clock::time_point time) {
  const struct tm parts = utc_time_detail::Broken(time);
  char text[40];
  std::snprintf(text, sizeof text, "%04d%02d%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                parts.tm_mday);
  return text;
}

}  // namespace quillmere::host
