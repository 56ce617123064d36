#include "session_time.h"

#include <time.h>

#include <cstdio>

namespace quillmere::host {

namespace {
// Days from the OLE epoch, 1899-12-30, to the Unix epoch.
constexpr double kUnixEpochAsOleDate = 25569.0;
constexpr double kSecondsPerDay = 86400.0;
}  // namespace

DATE ToOleDate(std::chrono::system_clock::time_point time) {
  const std::chrono::duration<double> seconds = time.time_since_epoch();
  return kUnixEpochAsOleDate + seconds.count() / kSecondsPerDay;
}

std::string ToUtcText(std::chrono::system_clock::time_point time) {
  const time_t seconds =
      std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(time));
  struct tm utc {};
  gmtime_r(&seconds, &utc);
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
  return text;
}

}  // namespace quillmere::host
