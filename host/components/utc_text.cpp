#include "utc_text.h"

#include <time.h>

#include <cmath>
#include <cstdio>

namespace quillmere::host {
namespace {

struct tm Broken(std::chrono::system_clock::time_point time) {
  const time_t seconds = std::chrono::system_clock::to_time_t(time);
  struct tm parts {};
  gmtime_r(&seconds, &parts);
  return parts;
}

// Day 0 of OLE automation dates is 1899-12-30, 25569 days before the Unix epoch.
constexpr double kUnixEpochAsOleDate = 25569.0;
constexpr double kSecondsPerDay = 86400.0;

}  // namespace

std::string UtcText(std::chrono::system_clock::time_point time) {
  const struct tm parts = Broken(time);
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", parts.tm_year + 1900,
                parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
  return text;
}

std::string UtcDate(std::chrono::system_clock::time_point time) {
  const struct tm parts = Broken(time);
  char text[40];
  std::snprintf(text, sizeof text, "%04d%02d%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                parts.tm_mday);
  return text;
}

std::chrono::system_clock::time_point FromOleDate(DATE date) {
  const auto seconds =
      static_cast<long long>(std::llround((date - kUnixEpochAsOleDate) * kSecondsPerDay));
  return std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
}

}  // namespace quillmere::host
