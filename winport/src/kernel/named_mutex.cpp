#include "named_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>

#include <winport/machine.h>
#include <winport/message.h>
#include <winport/owner_only.h>
#include <winport/synch.h>
#include <winport/threads.h>
#include <winport/wide.h>

#include "common/file_lock.h"

namespace winport::detail {
namespace {

constexpr std::size_t kMaxNameLength = 260;  // MAX_PATH, as Windows limits object names
constexpr std::size_t kMappedSize = 4096;

std::filesystem::path SyncDirectory() {
  std::filesystem::path directory = winport::machine::Prefix() / "sync";
  std::error_code ignored;
  winport::machine::CreatePrivateDirectories(directory, ignored);
  return directory;
}

// Creating, opening and removing names are serialised across processes by this lock.
std::filesystem::path NamesLockFile() {
  return SyncDirectory() / "names.lock";
}

// The name as a file name: "Global\" and "Local\" are one namespace on this machine;
// anything but letters, digits, '-' and '_' is escaped, keeping names case sensitive.
std::string FileNameOf(WideView name) {
  for (WideView prefix : {WideView(u"Global\\"), WideView(u"Local\\")}) {
    if (name.substr(0, prefix.size()) == prefix) {
      name.remove_prefix(prefix.size());
      break;
    }
  }
  std::string file_name = "mutex-";
  for (unsigned char byte : WideToUtf8(name)) {
    const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                       (byte >= '0' && byte <= '9') || byte == '-' || byte == '_';
    if (plain) {
      file_name += static_cast<char>(byte);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
      file_name += escaped;
    }
  }
  // Too long for a file name: a prefix and a hash of the whole (FNV-1a).
  if (file_name.size() > 200) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (unsigned char byte : file_name)
      hash = (hash ^ byte) * 0x100000001b3ULL;
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "~%016llx", static_cast<unsigned long long>(hash));
    file_name = file_name.substr(0, 150) + suffix;
  }
  return file_name;
}

// This process's open names: every handle to one name is one object here.
struct OpenNames {
  std::mutex mutex;
  std::map<std::string, std::weak_ptr<NamedMutex>> by_file;
};

OpenNames& TheOpenNames() {
  static OpenNames* names = new OpenNames;
  return *names;
}

bool InitializeShared(SharedMutexState* shared) {
  pthread_mutexattr_t attributes;
  if (pthread_mutexattr_init(&attributes) != 0) return false;
  pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
  const int result = pthread_mutex_init(&shared->lock, &attributes);
  pthread_mutexattr_destroy(&attributes);
  return result == 0;
}

// Opens the name's file under the names lock: created (or started afresh, when no
// process holds it) when create is set. Null with the last error set on failure.
std::shared_ptr<NamedMutex> OpenFile(const std::string& file_name, bool create, bool* existed) {
  FileLock names_lock(NamesLockFile());
  if (!names_lock.held()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  const std::filesystem::path path = SyncDirectory() / file_name;
  const int fd = winport::machine::OpenPrivateFile(path, O_RDWR | (create ? O_CREAT : 0));
  if (fd < 0) {
    SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
    return nullptr;
  }
  // Nobody else holds the file: it is new, or left by processes that have ended.
  const bool fresh = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  if (fresh && !create) {
    ::unlink(path.c_str());
    ::close(fd);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  bool ok = !fresh || (::ftruncate(fd, 0) == 0 && ::ftruncate(fd, kMappedSize) == 0);
  void* mapped = MAP_FAILED;
  if (ok) mapped = ::mmap(nullptr, kMappedSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ok = mapped != MAP_FAILED;
  auto* shared = static_cast<SharedMutexState*>(mapped);
  if (ok && fresh) ok = InitializeShared(shared);
  if (ok) ok = ::flock(fd, LOCK_SH) == 0;
  if (!ok) {
    if (mapped != MAP_FAILED) ::munmap(mapped, kMappedSize);
    if (fresh) ::unlink(path.c_str());
    ::close(fd);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  *existed = !fresh;
  return std::make_shared<NamedMutex>(file_name, fd, shared);
}

HANDLE OpenOrCreate(LPCWSTR name, bool create, bool initial_owner) {
  const WideView view(name);
  if (view.size() > kMaxNameLength) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  const std::string file_name = FileNameOf(view);
  OpenNames& names = TheOpenNames();
  std::shared_ptr<NamedMutex> mutex;
  bool existed = true;
  {
    std::lock_guard lock(names.mutex);
    auto found = names.by_file.find(file_name);
    if (found != names.by_file.end()) mutex = found->second.lock();
    if (mutex == nullptr) {
      mutex = OpenFile(file_name, create, &existed);
      if (mutex == nullptr) return nullptr;
      names.by_file[file_name] = mutex;
    }
  }
  // An existing mutex is not taken: the creator's initial ownership is the only one.
  if (!existed && initial_owner) mutex->AcquireBlocking(INFINITE);
  SetLastError(create && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return InsertHandle(std::move(mutex));
}

}  // namespace

NamedMutex::NamedMutex(std::string file_name, int fd, SharedMutexState* shared)
    : file_name_(std::move(file_name)), fd_(fd), shared_(shared) {}

NamedMutex::~NamedMutex() {
  ::munmap(shared_, kMappedSize);
  OpenNames& names = TheOpenNames();
  std::lock_guard lock(names.mutex);
  auto found = names.by_file.find(file_name_);
  if (found != names.by_file.end() && found->second.expired()) names.by_file.erase(found);
  // The last process to close the name removes it.
  FileLock names_lock(NamesLockFile());
  if (names_lock.held() && ::flock(fd_, LOCK_EX | LOCK_NB) == 0)
    ::unlink((SyncDirectory() / file_name_).c_str());
  ::close(fd_);
}

Acquired NamedMutex::TakeOwnership(DWORD thread, int lock_result) {
  // The previous holder died holding it: the state it guarded may be half done, which
  // the new owner learns from WAIT_ABANDONED.
  const bool abandoned = lock_result == EOWNERDEAD || shared_->abandoned != 0;
  if (lock_result == EOWNERDEAD) pthread_mutex_consistent(&shared_->lock);
  shared_->abandoned = 0;
  owner_ = thread;
  count_ = 1;
  RememberOwned(std::static_pointer_cast<OwnedMutex>(shared_from_this()));
  return abandoned ? Acquired::kAbandoned : Acquired::kYes;
}

Acquired NamedMutex::TryAcquire(DWORD thread) {
  if (owner_ == thread) {
    ++count_;
    return Acquired::kYes;
  }
  if (owner_ != 0) return Acquired::kNo;  // another thread of this process
  const int result = pthread_mutex_trylock(&shared_->lock);
  if (result != 0 && result != EOWNERDEAD) return Acquired::kNo;
  return TakeOwnership(thread, result);
}

DWORD NamedMutex::AcquireBlocking(DWORD timeout) {
  const DWORD thread = GetCurrentThreadId();
  {
    std::lock_guard lock(WaitLock());
    if (owner_ == thread) {
      ++count_;
      return WAIT_OBJECT_0;
    }
  }
  int result;
  if (timeout == INFINITE) {
    result = pthread_mutex_lock(&shared_->lock);
  } else if (timeout == 0) {
    result = pthread_mutex_trylock(&shared_->lock);
  } else {
    timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += timeout / 1000;
    until.tv_nsec += static_cast<long>(timeout % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
      until.tv_sec += 1;
      until.tv_nsec -= 1000000000L;
    }
    result = pthread_mutex_timedlock(&shared_->lock, &until);
  }
  if (result == EBUSY || result == ETIMEDOUT) return WAIT_TIMEOUT;
  if (result != 0 && result != EOWNERDEAD) {
    SetLastError(ERROR_GEN_FAILURE);
    return WAIT_FAILED;
  }
  std::lock_guard lock(WaitLock());
  return TakeOwnership(thread, result) == Acquired::kAbandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0;
}

bool NamedMutex::ReleaseLocked(DWORD thread) {
  if (owner_ != thread || count_ == 0) return false;
  if (--count_ == 0) {
    owner_ = 0;
    pthread_mutex_unlock(&shared_->lock);
    Notify();
    ForgetOwned(this);  // may drop the last reference: nothing of this after it
  }
  return true;
}

BOOL NamedMutex::Release() {
  std::lock_guard lock(WaitLock());
  if (!ReleaseLocked(GetCurrentThreadId())) {
    SetLastError(ERROR_NOT_OWNER);
    return FALSE;
  }
  return TRUE;
}

void NamedMutex::Abandon(DWORD thread) {
  // Marked in the shared state and unlocked now, rather than left for the system to mark
  // when the thread is gone: this object, and the mapping the lock lives in, may be
  // destroyed before the thread's last moment.
  if (owner_ != thread) return;
  owner_ = 0;
  count_ = 0;
  shared_->abandoned = 1;
  pthread_mutex_unlock(&shared_->lock);
  Notify();
}

HANDLE CreateNamedMutex(LPCWSTR name, bool initial_owner) {
  return OpenOrCreate(name, true, initial_owner);
}

HANDLE OpenNamedMutex(LPCWSTR name) {
  return OpenOrCreate(name, false, false);
}

}  // namespace winport::detail
