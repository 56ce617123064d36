// The module as the host uses it: through COM activation only. The library is registered
// in the machine when its classes are not (or point at a library that no longer loads),
// both SOAP objects are created by ProgID and started with the host's service; Stop()
// stops and releases them and lets COM unload the library.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <winport/com_ptr.h>
#include <winport/scoped_library.h>
#include <winport/windows.h>

#include "host/common/hresult_text.h"
#include "host/server/host_log.h"
#include "quillmere/soap_object_interfaces.h"

namespace quillmere::host {

inline constexpr const char* kModuleProgIds[] = {"quillmere.Administer", "quillmere.WbemProvider"};

class LoadedModule {
 public:
  // Throws std::runtime_error naming the step that failed.
  LoadedModule(const std::filesystem::path& library, quillmere::ISoapService* service,
               HostLog& log);
  ~LoadedModule();
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  void Stop();

  // The module's report queue as its export tells it; nullopt when the module does not
  // answer (stopped, or a library without the export). Safe from any thread until Stop().
  struct ReportQueueState {
    ULONGLONG depth = 0;
    ULONGLONG dropped = 0;
    bool workerAlive = false;
  };
  std::optional<ReportQueueState> ReportQueue() const;

 private:
  winport::ComPtr<quillmere::_ISoapObject> Activate(const std::string& progId);
  void RegisterLibrary();

  const std::filesystem::path library_;
  HostLog& log_;
  bool registered_ = false;  // by this host, in this run
  std::vector<winport::ComPtr<quillmere::_ISoapObject>> objects_;
  // The library the objects came from, held until Stop() lets COM unload it.
  winport::ScopedLibrary loaded_;
  using QueueStateExport = HRESULT(WINAPI*)(ULONGLONG*, ULONGLONG*, BOOL*);
  QueueStateExport queueState_ = nullptr;
};

}  // namespace quillmere::host
