#include "host/server/host_log.h"

#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>

#include "host/server/batched_writer.h"

namespace quillmere::host {
namespace {

constexpr size_t kSecondLength = 19;  // "2026-01-31T23:59:59"

// "<UTC time> " with milliseconds; the part up to the second is kept per thread.
void AppendUtcNow(std::string& line) {
  thread_local time_t lastSecond = -1;
  thread_local char second[kSecondLength + 1] = {};
  const auto now = std::chrono::system_clock::now();
  const time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  if (seconds != lastSecond) {
    tm parts{};
    gmtime_r(&seconds, &parts);
    strftime(second, sizeof second, "%Y-%m-%dT%H:%M:%S", &parts);
    lastSecond = seconds;
  }
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, ".%03dZ ", static_cast<int>(millis));
  line.append(second).append(fraction);
}

void WriteToStderr(std::string_view batch) {
  while (!batch.empty()) {
    const ssize_t wrote = ::write(STDERR_FILENO, batch.data(), batch.size());
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return;  // nowhere to write to: the lines are dropped
    batch.remove_prefix(static_cast<size_t>(wrote));
  }
}

}  // namespace

HostLog::HostLog(LogLevel level)
    : level_(level), batched_(std::make_unique<BatchedWriter>(&WriteToStderr)) {}
HostLog::HostLog(LogLevel level, std::ostream& out) : level_(level), out_(&out) {}
HostLog::~HostLog() = default;

void HostLog::Write(LogLevel level, std::string_view text) {
  if (!Enabled(level)) return;
  static constexpr const char* kNames[] = {"ERROR", "WARNING", "INFO", "DEBUG"};
  std::string line;
  line.reserve(32 + text.size());
  AppendUtcNow(line);
  line.append(kNames[static_cast<int>(level)]).append(" ").append(text) += '\n';
  if (batched_) return batched_->Write(line, level <= LogLevel::Warning);
  std::lock_guard hold(mutex_);
  *out_ << line << std::flush;
}

}  // namespace quillmere::host
