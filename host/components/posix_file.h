// A file descriptor that closes itself, and writing all of a text to it. The host's files
// are on the machine, so a file it creates is its owner's alone (winport/owner_only.h).
#pragma once

#include <filesystem>
#include <string_view>

namespace quillmere::host {

class PosixFile {
 public:
  PosixFile(const std::filesystem::path& path, int flags);
  ~PosixFile();
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  bool IsOpen() const { return descriptor_ >= 0; }
  int OpenError() const { return openError_; }  // errno of a failed open
  // 0, or the errno of the write that failed. One write call for a text the system takes
  // whole, which for a file opened with O_APPEND keeps concurrent lines apart.
  int WriteAll(std::string_view text) const;

 private:
  int descriptor_ = -1;
  int openError_ = 0;
};

}  // namespace quillmere::host
