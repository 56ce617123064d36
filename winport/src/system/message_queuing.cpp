#include <fcntl.h>
#include <unistd.h>

#include <winport/machine.h>
#include <winport/message_queuing.h>
#include <winport/owner_only.h>
#include <winport/registry.h>
#include <winport/scoped_hkey.h>

#include <system_error>

namespace winport::msmq {
namespace {

namespace fs = std::filesystem;

constexpr const WCHAR* kParametersKey = u"SOFTWARE\\Microsoft\\MSMQ\\Parameters";
constexpr const WCHAR* kMsmqKey = u"SOFTWARE\\Microsoft\\MSMQ";

fs::path StoppedMarker() {
  return StorageDirectory() / "stopped";
}

DWORD ErrorOf(const std::error_code& error) {
  return error ? static_cast<DWORD>(ERROR_ACCESS_DENIED) : static_cast<DWORD>(ERROR_SUCCESS);
}

}  // namespace

fs::path StorageDirectory() {
  return machine::MessageQueueDirectory();
}

bool IsInstalled() {
  ScopedHkey key;
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, kParametersKey, 0, KEY_READ, key.Receive()) ==
         ERROR_SUCCESS;
}

bool IsRunning() {
  std::error_code error;
  return IsInstalled() && !fs::exists(StoppedMarker(), error);
}

DWORD Install() {
  std::error_code error;
  machine::CreatePrivateDirectories(StorageDirectory(), error);
  if (error) return ErrorOf(error);
  ScopedHkey key;
  return static_cast<DWORD>(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kParametersKey, 0, nullptr, 0,
                                            KEY_WRITE, nullptr, key.Receive(), nullptr));
}

DWORD Uninstall() {
  const LSTATUS removed = RegDeleteTreeW(HKEY_LOCAL_MACHINE, kMsmqKey);
  if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND) {
    return static_cast<DWORD>(removed);
  }
  // The key goes first: from then on no runtime touches the storage.
  std::error_code error;
  fs::remove_all(StorageDirectory(), error);
  if (error) return ErrorOf(error);
  machine::CreatePrivateDirectories(StorageDirectory(), error);
  return ErrorOf(error);
}

DWORD Start() {
  if (!IsInstalled()) return ERROR_SERVICE_DOES_NOT_EXIST;
  std::error_code error;
  fs::remove(StoppedMarker(), error);
  return ErrorOf(error);
}

DWORD Stop() {
  if (!IsInstalled()) return ERROR_SERVICE_DOES_NOT_EXIST;
  const int marker = machine::OpenPrivateFile(StoppedMarker(), O_WRONLY | O_CREAT);
  if (marker < 0) return ERROR_ACCESS_DENIED;
  ::close(marker);
  return ERROR_SUCCESS;
}

}  // namespace winport::msmq
