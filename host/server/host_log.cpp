#include "host/server/host_log.h"

#include <time.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>

namespace quillmere::host {
namespace {

std::string UtcNow() {
  const auto now = std::chrono::system_clock::now();
  const time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  tm parts{};
  gmtime_r(&seconds, &parts);
  char text[32];
  const size_t length = strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
  std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(millis));
  return text;
}

}  // namespace

HostLog::HostLog(LogLevel level) : HostLog(level, std::cerr) {}
HostLog::HostLog(LogLevel level, std::ostream& out) : level_(level), out_(out) {}

void HostLog::Write(LogLevel level, std::string_view text) {
  if (!Enabled(level)) return;
  static constexpr const char* kNames[] = {"ERROR", "WARNING", "INFO", "DEBUG"};
  std::string line = UtcNow() + " " + kNames[static_cast<int>(level)] + " ";
  line.append(text);
  line += '\n';
  std::lock_guard hold(mutex_);
  out_ << line << std::flush;
}

}  // namespace quillmere::host
