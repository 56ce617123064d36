// Files shared by the processes of one machine (the registry hive, the event log):
// a cross-process lock, and writes that replace a file whole or not at all.
#pragma once

#include <filesystem>
#include <string_view>

namespace winport::detail {

// Holds an exclusive lock on lock_file (created when missing) for its lifetime. The
// lock excludes other processes and other threads of this one alike.
class FileLock {
 public:
  explicit FileLock(const std::filesystem::path& lock_file);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Writes contents to a temporary file beside target, flushes it and renames it over
// target, so readers see the old file or the new one, never a part. False on failure
// (target untouched).
bool ReplaceFile(const std::filesystem::path& target, std::string_view contents);

}  // namespace winport::detail
