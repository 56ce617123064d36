#include "posix_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <winport/owner_only.h>

namespace quillmere::host {

PosixFile::PosixFile(const std::filesystem::path& path, int flags)
    : descriptor_(winport::machine::OpenPrivateFile(path, flags)) {
  if (descriptor_ < 0) openError_ = errno;
}

PosixFile::~PosixFile() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

int PosixFile::WriteAll(std::string_view text) const {
  while (!text.empty()) {
    const ssize_t written = ::write(descriptor_, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    text.remove_prefix(static_cast<size_t>(written));
  }
  return 0;
}

}  // namespace quillmere::host
