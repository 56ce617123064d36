// The host's own log: one line per event on stderr, filtered by the level the operator
// chose. Safe to write from every worker thread. On stderr the lines go through a writer
// thread in batches; a warning or an error is on stderr, with every line before it, when
// Write returns, and the destructor writes whatever is still queued.
#pragma once

#include <iosfwd>
#include <memory>
#include <mutex>
#include <string_view>

namespace quillmere::host {

enum class LogLevel { Error, Warning, Info, Debug };

class BatchedWriter;

class HostLog {
 public:
  explicit HostLog(LogLevel level);
  // Written at once, under a lock.
  HostLog(LogLevel level, std::ostream& out);
  ~HostLog();

  bool Enabled(LogLevel level) const { return level <= level_; }
  // Writes "<UTC time> <LEVEL> <text>" when the level is enabled.
  void Write(LogLevel level, std::string_view text);

 private:
  LogLevel level_;
  std::ostream* out_ = nullptr;
  std::mutex mutex_;
  std::unique_ptr<BatchedWriter> batched_;
};

}  // namespace quillmere::host
