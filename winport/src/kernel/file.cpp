// Files and directories: POSIX descriptors behind kernel handles (handles.h). Share
// modes are checked against this process's other handles of the same inode; the table
// is locked across the check and the open, so two opens cannot both pass it.
#include <winport/fileapi.h>
#include <winport/machine.h>
#include <winport/message.h>
#include <winport/owner_only.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <iterator>
#include <map>
#include <mutex>
#include <string>

#include <winport/fault_injection.h>

#include "handles.h"

namespace {

namespace fs = std::filesystem;

#ifndef ERROR_DIRECTORY
constexpr DWORD kErrorDirectory = 267;  // "The directory name is invalid."
#else
constexpr DWORD kErrorDirectory = ERROR_DIRECTORY;
#endif

// The kinds of access a share mode grants others, in the share mode's bits.
constexpr DWORD kReads = FILE_SHARE_READ;
constexpr DWORD kWrites = FILE_SHARE_WRITE;
constexpr DWORD kDeletes = FILE_SHARE_DELETE;

struct OpenFile {
  int fd;
  DWORD kinds;  // kReads | kWrites | kDeletes
  DWORD share;
  dev_t device;
  ino_t inode;
};

std::mutex g_mutex;
std::map<HANDLE, OpenFile> g_files;

bool Injected(const char* function) {
  std::uint32_t error;
  if (!winport::fault::ShouldFail(function, &error)) return false;
  SetLastError(error);
  return true;
}

DWORD KindsOf(DWORD access) {
  DWORD kinds = 0;
  if ((access & (GENERIC_READ | GENERIC_ALL)) != 0) kinds |= kReads;
  if ((access & (GENERIC_WRITE | GENERIC_ALL)) != 0) kinds |= kWrites;
  if ((access & (DELETE | GENERIC_ALL)) != 0) kinds |= kDeletes;
  return kinds;
}

// Whether an open asking `kinds` and sharing `share` may join the open handles of the
// inode: each side must share what the other uses. Opens that touch no data take no
// part. Called with g_mutex held.
bool SharingAllows(dev_t device, ino_t inode, DWORD kinds, DWORD share) {
  if (kinds == 0) return true;
  for (const auto& [handle, file] : g_files) {
    if (file.device != device || file.inode != inode || file.kinds == 0) continue;
    if ((kinds & ~file.share) != 0 || (file.kinds & ~share) != 0) return false;
  }
  return true;
}

bool IsDirectory(const fs::path& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Windows tells a missing file from a missing folder on its way.
DWORD ErrorOf(int error, const fs::path& path) {
  switch (error) {
    case ENOENT:
      return IsDirectory(path.parent_path()) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
      return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG:
      return ERROR_INVALID_NAME;
    default:
      return ERROR_GEN_FAILURE;
  }
}

void CloseFile(HANDLE handle) {
  int fd = -1;
  {
    std::lock_guard lock(g_mutex);
    const auto found = g_files.find(handle);
    if (found == g_files.end()) return;
    fd = found->second.fd;
    g_files.erase(found);
  }
  ::close(fd);
}

// The open file behind a handle, or false with ERROR_INVALID_HANDLE.
bool Lookup(HANDLE handle, OpenFile* file) {
  std::lock_guard lock(g_mutex);
  const auto found = g_files.find(handle);
  if (found == g_files.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  *file = found->second;
  return true;
}

// Whether `path` is on the machine, lexically: on Windows what is created under the
// machine folder inherits its ACL, which grants the owner only, so files made there are
// 0600 and folders 0700 whatever the umask. Elsewhere (a Linux path given as such) the
// umask and the folder's default ACL decide, as for any program here.
bool OnTheMachine(const fs::path& path) {
  const fs::path prefix = winport::machine::Prefix().lexically_normal();
  const fs::path normal = path.lexically_normal();
  const auto end = std::mismatch(prefix.begin(), prefix.end(), normal.begin(), normal.end()).first;
  return end == prefix.end() || (std::next(end) == prefix.end() && end->empty());
}

// A Windows path as a path here; an empty or missing name is no path.
bool MapName(LPCWSTR name, fs::path* path) {
  if (name == nullptr || *name == u'\0') {
    SetLastError(name == nullptr ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
    return false;
  }
  *path = winport::machine::MapPath(name);
  return true;
}

}  // namespace

extern "C" HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                              LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                              DWORD dwFlagsAndAttributes, HANDLE) {
  if (Injected("CreateFileW")) return INVALID_HANDLE_VALUE;
  if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  fs::path path;
  if (!MapName(lpFileName, &path)) return INVALID_HANDLE_VALUE;
  const DWORD kinds = KindsOf(dwDesiredAccess);

  std::lock_guard lock(g_mutex);
  struct stat status {};
  const bool existed = ::stat(path.c_str(), &status) == 0;
  if (existed && dwCreationDisposition == CREATE_NEW) {
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
  }
  if (existed && S_ISDIR(status.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  // Checked before opening: a refused CREATE_ALWAYS must not have truncated the file.
  if (existed && !SharingAllows(status.st_dev, status.st_ino, kinds, dwShareMode)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }

  int flags = O_CLOEXEC;
  if ((kinds & kWrites) != 0) {
    flags |= (kinds & kReads) != 0 ? O_RDWR : O_WRONLY;
  } else {
    flags |= O_RDONLY;
  }
  switch (dwCreationDisposition) {
    case CREATE_NEW:
      flags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS:
      flags |= O_CREAT | O_TRUNC;
      break;
    case OPEN_ALWAYS:
      flags |= O_CREAT;
      break;
    case TRUNCATE_EXISTING:
      flags |= O_TRUNC;
      break;
  }
  // A read-only attribute is the one a Unix mode can keep.
  const bool read_only = (dwFlagsAndAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  const int fd = OnTheMachine(path) && (flags & O_CREAT) != 0
                     ? winport::machine::OpenPrivateFile(path, flags, read_only)
                     : ::open(path.c_str(), flags, read_only ? 0444 : 0666);
  if (fd < 0) {
    SetLastError(ErrorOf(errno, path));
    return INVALID_HANDLE_VALUE;
  }
  struct stat opened {};
  ::fstat(fd, &opened);
  const HANDLE handle = winport::handles::Allocate(CloseFile);
  g_files[handle] = OpenFile{fd, kinds, dwShareMode, opened.st_dev, opened.st_ino};
  const bool reports_existing =
      dwCreationDisposition == OPEN_ALWAYS || dwCreationDisposition == CREATE_ALWAYS;
  SetLastError(existed && reports_existing ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

extern "C" BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                         LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
  OpenFile file;
  if (!Lookup(hFile, &file)) return FALSE;
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
  if (lpOverlapped != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if ((file.kinds & kReads) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  auto* bytes = static_cast<char*>(lpBuffer);
  DWORD done = 0;
  // At the end of the file a read succeeds with nothing.
  while (done < nNumberOfBytesToRead) {
    const ssize_t got = ::read(file.fd, bytes + done, nNumberOfBytesToRead - done);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      SetLastError(ERROR_READ_FAULT);
      return FALSE;
    }
    done += static_cast<DWORD>(got);
  }
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = done;
  return TRUE;
}

extern "C" BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                          LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  OpenFile file;
  if (!Lookup(hFile, &file)) return FALSE;
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
  if (lpOverlapped != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if ((file.kinds & kWrites) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const auto* bytes = static_cast<const char*>(lpBuffer);
  DWORD done = 0;
  while (done < nNumberOfBytesToWrite) {
    const ssize_t put = ::write(file.fd, bytes + done, nNumberOfBytesToWrite - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      SetLastError(errno == ENOSPC ? ERROR_DISK_FULL : ERROR_WRITE_FAULT);
      return FALSE;
    }
    done += static_cast<DWORD>(put);
  }
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = done;
  return TRUE;
}

extern "C" BOOL SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove,
                                 PLARGE_INTEGER lpNewFilePointer, DWORD dwMoveMethod) {
  OpenFile file;
  if (!Lookup(hFile, &file)) return FALSE;
  int whence;
  switch (dwMoveMethod) {
    case FILE_BEGIN:
      whence = SEEK_SET;
      break;
    case FILE_CURRENT:
      whence = SEEK_CUR;
      break;
    case FILE_END:
      whence = SEEK_END;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
  // Past the end is allowed; before the start is not, and leaves the pointer alone.
  const off_t position = ::lseek(file.fd, static_cast<off_t>(liDistanceToMove.QuadPart), whence);
  if (position < 0) {
    SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : ERROR_GEN_FAILURE);
    return FALSE;
  }
  if (lpNewFilePointer != nullptr) lpNewFilePointer->QuadPart = position;
  return TRUE;
}

extern "C" BOOL GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize) {
  OpenFile file;
  if (!Lookup(hFile, &file)) return FALSE;
  struct stat status {};
  if (::fstat(file.fd, &status) != 0) {
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  lpFileSize->QuadPart = status.st_size;
  return TRUE;
}

extern "C" BOOL FlushFileBuffers(HANDLE hFile) {
  OpenFile file;
  if (!Lookup(hFile, &file)) return FALSE;
  // Windows flushes only through a handle that may write.
  if ((file.kinds & kWrites) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (::fsync(file.fd) != 0) {
    SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  return TRUE;
}

extern "C" BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  if (Injected("CreateDirectoryW")) return FALSE;
  fs::path path;
  if (!MapName(lpPathName, &path)) return FALSE;
  if (::mkdir(path.c_str(), OnTheMachine(path) ? 0700 : 0777) != 0) {
    // Any entry of that name is in the way, a file as much as a directory.
    SetLastError(errno == EEXIST   ? ERROR_ALREADY_EXISTS
                 : errno == ENOENT ? ERROR_PATH_NOT_FOUND
                                   : ErrorOf(errno, path));
    return FALSE;
  }
  return TRUE;
}

extern "C" BOOL RemoveDirectoryW(LPCWSTR lpPathName) {
  fs::path path;
  if (!MapName(lpPathName, &path)) return FALSE;
  if (::rmdir(path.c_str()) != 0) {
    SetLastError(errno == ENOTDIR ? kErrorDirectory : ErrorOf(errno, path));
    return FALSE;
  }
  return TRUE;
}

extern "C" BOOL DeleteFileW(LPCWSTR lpFileName) {
  fs::path path;
  if (!MapName(lpFileName, &path)) return FALSE;
  std::lock_guard lock(g_mutex);
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    SetLastError(ErrorOf(errno, path));
    return FALSE;
  }
  if (S_ISDIR(status.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!SharingAllows(status.st_dev, status.st_ino, kDeletes,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  if (::unlink(path.c_str()) != 0) {
    SetLastError(ErrorOf(errno, path));
    return FALSE;
  }
  return TRUE;
}

extern "C" DWORD GetFileAttributesW(LPCWSTR lpFileName) {
  fs::path path;
  if (!MapName(lpFileName, &path)) return INVALID_FILE_ATTRIBUTES;
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    SetLastError(ErrorOf(errno, path));
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attributes = S_ISDIR(status.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if ((status.st_mode & S_IWUSR) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes;
}
