// The log-file component's class (__uuidof(quillmere::LogFileWriter)), served from the
// host's own process as a local server for as long as this lives: each report's XML form
// becomes one line of <logFolder>/reports-YYYYMMDD.log (the UTC date of the write).
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>

#include "host/common/class_object.h"

namespace quillmere::host {

class LogFileWriterClass {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  // Throws std::runtime_error when the class cannot be registered. The folder is made at
  // the first write.
  explicit LogFileWriterClass(std::filesystem::path logFolder,
                              Clock now = std::chrono::system_clock::now);

 private:
  ServedClass served_;
};

}  // namespace quillmere::host
