// The host's own log: one line per event on stderr, filtered by the level the operator
// chose. Safe to write from every worker thread.
#pragma once

#include <iosfwd>
#include <mutex>
#include <string_view>

namespace quillmere::host {

enum class LogLevel { Error, Warning, Info, Debug };

class HostLog {
 public:
  explicit HostLog(LogLevel level);
  HostLog(LogLevel level, std::ostream& out);

  bool Enabled(LogLevel level) const { return level <= level_; }
  // Writes "<UTC time> <LEVEL> <text>" when the level is enabled.
  void Write(LogLevel level, std::string_view text);

 private:
  LogLevel level_;
  std::ostream& out_;
  std::mutex mutex_;
};

}  // namespace quillmere::host
