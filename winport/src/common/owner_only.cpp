#include <winport/owner_only.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace winport::machine {
namespace {

namespace fs = std::filesystem;

constexpr mode_t kOthers = S_IRWXG | S_IRWXO;

// Tightening is as far as the owner may: a file of another user keeps its mode, and the
// open or the use that follows answers for it.
void Tighten(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) == 0 && (status.st_mode & kOthers) != 0)
    ::fchmod(fd, status.st_mode & 07777 & ~kOthers);
}

}  // namespace

void MakePrivate(const fs::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0 || S_ISLNK(status.st_mode)) return;
  if ((status.st_mode & kOthers) != 0) ::chmod(path.c_str(), status.st_mode & 07777 & ~kOthers);
}

void CreatePrivateDirectories(const fs::path& directory, std::error_code& error) {
  error.clear();
  if (directory.empty()) return;
  struct stat status {};
  if (::stat(directory.c_str(), &status) == 0) {
    if (!S_ISDIR(status.st_mode)) {
      error = std::make_error_code(std::errc::not_a_directory);
      return;
    }
    MakePrivate(directory);
    return;
  }
  const fs::path parent = directory.parent_path();
  if (parent != directory) {
    CreatePrivateDirectories(parent, error);
    if (error) return;
  }
  if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
    error = std::error_code(errno, std::generic_category());
    return;
  }
  MakePrivate(directory);  // an umask of 0 still leaves 0700; another process may have won
}

int OpenPrivateFile(const fs::path& file, int flags, bool read_only) {
  const int fd = ::open(file.c_str(), flags | O_CLOEXEC, read_only ? 0400 : 0600);
  if (fd >= 0) Tighten(fd);
  return fd;
}

void PrepareDatabaseFile(const fs::path& database) {
  const int fd = OpenPrivateFile(database, O_RDWR | O_CREAT);
  if (fd >= 0) ::close(fd);
  for (const char* suffix : {"-wal", "-shm", "-journal"})
    MakePrivate(database.string() + suffix);
}

void MakeTreePrivate(const fs::path& directory) {
  MakePrivate(directory);
  std::error_code error;
  for (fs::recursive_directory_iterator it(directory, error), end; !error && it != end;
       it.increment(error))
    MakePrivate(it->path());
}

}  // namespace winport::machine
